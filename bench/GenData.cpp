// tallimo_gen <file> <N>: a large, realistic data file for the store benchmark.
//
// Copies the template data file that sits beside this program to <file>
// (replacing it) and fills it with N records of three users over ten years.
// Notes: about half empty, the rest Chinese phrases of 2 to 12 characters,
// some with a number. Accounts and category lists go through TDbMan; the
// records are written with one prepared statement in one transaction, in
// exactly the stored form TDbMan writes (base64 of GB18030 for free texts, the plain type words,
// 'yyyy-mm-dd' dates, REAL amounts). The same N always gives the same records.

#include "DbClass.h"
#include "HiClass.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <vector>

namespace {

// SplitMix64: tiny, fast and the same on every platform (the standard
// distributions are not), so a given seed always yields the same file.
class Rng {
public:
    explicit Rng(std::uint64_t seed) : m_s(seed) {}
    std::uint64_t next()
    {
        std::uint64_t z = (m_s += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    double unit() { return double(next() >> 11) * (1.0 / 9007199254740992.0); } // [0, 1)
    int below(int n) { return int(next() % std::uint64_t(n)); }
    bool chance(double p) { return unit() < p; }
    // Log-uniform cents in [lo, hi): small amounts are far more common.
    qint64 cents(double lo, double hi)
    {
        return std::llround(std::exp(std::log(lo) + unit() * (std::log(hi) - std::log(lo))) *
                            100.0);
    }

private:
    std::uint64_t m_s;
};

// Picks an index with weight 1/(i+1): a few categories carry most records.
class Zipf {
public:
    explicit Zipf(int n)
    {
        double sum = 0;
        for (int i = 0; i < n; ++i) {
            sum += 1.0 / (i + 1);
            m_cum.push_back(sum);
        }
        for (double &c : m_cum)
            c /= sum;
    }
    int pick(Rng &r) const
    {
        const auto it = std::upper_bound(m_cum.begin(), m_cum.end(), r.unit());
        return int(std::min<std::ptrdiff_t>(it - m_cum.begin(), std::ptrdiff_t(m_cum.size()) - 1));
    }

private:
    std::vector<double> m_cum;
};

const char *const ExpensePool[] = {
    "餐饮",       "Groceries", "交通",      "Rent",          "水电费",   "Fuel",    "服装",
    "Coffee",     "话费",      "Books",     "医疗",          "Gym",      "超市",    "Parking",
    "外卖",       "Internet",  "水果",      "Insurance",     "日用品",   "Pets",    "娱乐",
    "Cinema",     "旅游",      "Taxi",      "礼物",          "Haircut",  "学费",    "Repairs",
    "物业费",     "Toys",      "零食",      "Subscriptions", "电器",     "Charity", "烟酒",
    "Stationery", "早餐",      "Laundry",   "药品",          "Hardware", "蔬菜",    "Postage",
    "家具",       "Software",  "快递",      "Garden",        "宠物用品", "Dentist", "Snacks",
    "停车费",     "Music",     "数码",      "Bakery",        "培训",     "Shoes",   "美容",
    "Tolls",      "网费",      "Furniture", "红包"};
const char *const IncomePool[] = {
    "工资", "Salary", "奖金",     "Bonus",     "利息",     "Interest",       "兼职",    "Freelance",
    "报销", "Refund", "租金收入", "Dividends", "理财收益", "Gifts received", "二手转让"};
// Words that notes are made of; a note joins a few of them, sometimes with a
// number, to a phrase of 2 to 12 characters, as people type them.
const char *const NoteWords[] = {
    "午饭",   "晚饭", "早餐",   "和朋友", "同事", "聚餐",   "超市", "买菜", "网购", "打折",
    "信用卡", "现金", "支付宝", "微信",   "转账", "给父母", "孩子", "学校", "报销", "房租",
    "水费",   "电费", "燃气",   "加油",   "停车", "地铁",   "公交", "打车", "机票", "火车票",
    "酒店",   "门票", "生日",   "礼物",   "红包", "看病",   "买药", "体检", "理发", "衣服",
    "鞋子",   "书",   "文具",   "快递",   "外卖", "咖啡",   "水果", "零食", "周末", "月初",
    "年费",   "会员", "维修",   "家具",   "电器", "手机",   "话费", "宽带", "保险", "利息",
    "奖金",   "工资", "兼职",   "退款",   "二手", "出差",   "旅游", "装修"};
const char *const NoteUnits[] = {"斤", "个", "人", "次", "天", "件", "月", "元", "瓶", "张"};

QString makeNote(Rng &r)
{
    QString note;
    const int want = 2 + r.below(11);
    while (note.size() < want) {
        const QString w = QString::fromUtf8(NoteWords[r.below(int(std::size(NoteWords)))]);
        if (!note.isEmpty() && note.size() + w.size() > want)
            break;
        note += w;
    }
    if (r.chance(0.3)) { // a quantity or a receipt number
        const QString num =
            r.chance(0.5) ? QString::number(1 + r.below(20)) +
                                QString::fromUtf8(NoteUnits[r.below(int(std::size(NoteUnits)))])
                          : QStringLiteral("#%1").arg(r.below(100000));
        if (note.size() + num.size() <= 12)
            note += num;
    }
    return note.left(12);
}

constexpr int ExpenseCates = 40;
constexpr int IncomeCates = 10;

struct User {
    QString name;
    double share;                  // of all records
    QStringList outCates, inCates; // most used first
    std::vector<QByteArray> outEnc, inEnc;
};

// Each user has its own selection and order from the pools, so the three
// category lists overlap but differ.
QStringList pickCates(const char *const *pool, int poolSize, int count, Rng &r)
{
    std::vector<int> idx(poolSize);
    for (int i = 0; i < poolSize; ++i)
        idx[i] = i;
    for (int i = poolSize - 1; i > 0; --i)
        std::swap(idx[i], idx[r.below(i + 1)]);
    QStringList out;
    for (int i = 0; i < count; ++i)
        out << QString::fromUtf8(pool[idx[i]]);
    return out;
}

std::vector<QByteArray> encodeAll(const QStringList &texts)
{
    std::vector<QByteArray> out;
    for (const QString &t : texts)
        out.push_back(THi::Base64Encode(t).toLatin1());
    return out;
}

[[noreturn]] void die(const QString &why)
{
    std::fprintf(stderr, "tallimo_gen: %s\n", qPrintable(why));
    std::exit(1);
}

void check(sqlite3 *db, int rc, int want = SQLITE_OK)
{
    if (rc != want)
        die(QString::fromUtf8(sqlite3_errmsg(db)));
}

void exec(sqlite3 *db, const char *sql)
{
    check(db, sqlite3_exec(db, sql, nullptr, nullptr, nullptr));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    bool ok = false;
    const qint64 n = args.size() == 3 ? args.at(2).toLongLong(&ok) : 0;
    if (!ok || n < 0)
        die(QStringLiteral("usage: tallimo_gen <file> <N>"));
    const QString file = args.at(1);
    const QString templ = QCoreApplication::applicationDirPath() + QStringLiteral("/db.tlmdb");
    if (!QFileInfo(templ).isFile())
        die(QStringLiteral("template data file not found: %1").arg(templ));
    QFile::remove(file);
    if (!QFile::copy(templ, file))
        die(QStringLiteral("cannot copy %1 to %2").arg(templ, file));
    QFile::setPermissions(file, QFile::permissions(file) | QFile::WriteOwner);

    QElapsedTimer clock;
    clock.start();
    Rng rng(20240601);

    std::vector<User> users(3);
    users[0].name = QStringLiteral("王芳");
    users[0].share = 0.40;
    users[1].name = QStringLiteral("david");
    users[1].share = 0.35;
    users[2].name = QStringLiteral("Lucy Chen");
    users[2].share = 0.25;

    TDbMan db(file);
    try {
        for (User &u : users) {
            u.outCates = pickCates(ExpensePool, int(std::size(ExpensePool)), ExpenseCates, rng);
            u.inCates = pickCates(IncomePool, int(std::size(IncomePool)), IncomeCates, rng);
            u.outEnc = encodeAll(u.outCates);
            u.inEnc = encodeAll(u.inCates);
            db.AddUser(u.name, QStringLiteral("secret-") + u.name);
            db.SetCateList(u.name, KindOut(), THi::JoinLines(u.outCates));
            db.SetCateList(u.name, KindIn(), THi::JoinLines(u.inCates));
        }
    } catch (const TError &e) {
        die(e.text());
    }

    const QDate first(2015, 1, 1);
    const int days = int(first.daysTo(QDate(2024, 12, 31))) + 1;
    std::vector<QByteArray> dates;
    for (int d = 0; d < days; ++d)
        dates.push_back(THi::DateToYmd(first.addDays(d)).toLatin1());

    const Zipf outPick(ExpenseCates), inPick(IncomeCates);
    const QByteArray wordOut = TypeExpense().toUtf8();
    const QByteArray wordIn = TypeIncome().toUtf8();

    sqlite3 *h = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(file).constData(), &h, SQLITE_OPEN_READWRITE, nullptr) !=
        SQLITE_OK)
        die(QString::fromUtf8(sqlite3_errmsg(h)));
    // Only this connection's settings: nothing here is kept in the file.
    exec(h, "pragma synchronous=off");
    exec(h, "pragma cache_size=-262144");
    exec(h, "begin immediate");
    sqlite3_stmt *ins = nullptr;
    check(h, sqlite3_prepare_v2(h,
                                "insert into [data] ([user],[date],[type],[cate],[amount],[notes]) "
                                "values (?,?,?,?,?,?)",
                                -1, &ins, nullptr));
    std::vector<QByteArray> userEnc;
    for (const User &u : users)
        userEnc.push_back(THi::Base64Encode(u.name).toLatin1());

    auto bindBytes = [&](int col, const QByteArray &b) {
        check(h, sqlite3_bind_text(ins, col, b.constData(), int(b.size()), SQLITE_STATIC));
    };
    QByteArray notes;
    for (qint64 i = 0; i < n; ++i) {
        // Records are entered roughly in date order, some a few days late.
        int day = int(i * days / std::max<qint64>(n, 1));
        if (rng.chance(0.2))
            day = std::max(0, day - 1 - rng.below(6));

        const double u = rng.unit();
        const int who = u < users[0].share ? 0 : u < users[0].share + users[1].share ? 1 : 2;
        const User &user = users[size_t(who)];

        const bool income = rng.chance(0.07);
        qint64 cents;
        const double size = rng.unit();
        if (income)
            cents = size < 0.7 ? rng.cents(3000, 20000) : rng.cents(50, 3000);
        else
            cents = size < 0.92   ? rng.cents(1, 300)
                    : size < 0.99 ? rng.cents(300, 3000)
                                  : rng.cents(3000, 20000);
        const QByteArray &cate =
            income ? user.inEnc[size_t(inPick.pick(rng))] : user.outEnc[size_t(outPick.pick(rng))];

        // About half the records carry a note.
        if (rng.chance(0.5))
            notes.clear();
        else
            notes = THi::Base64Encode(makeNote(rng)).toLatin1();

        bindBytes(1, userEnc[size_t(who)]);
        bindBytes(2, dates[size_t(day)]);
        bindBytes(3, income ? wordIn : wordOut);
        bindBytes(4, cate);
        // cents / 100.0 is the double nearest the decimal text, as parsing it gives.
        check(h, sqlite3_bind_double(ins, 5, double(cents) / 100.0));
        bindBytes(6, notes);
        check(h, sqlite3_step(ins), SQLITE_DONE);
        sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
    exec(h, "commit");
    sqlite3_close(h);

    std::printf("%lld records in %s, %.1f s, %.1f MB\n", static_cast<long long>(n),
                qPrintable(file), double(clock.elapsed()) / 1000.0,
                double(QFileInfo(file).size()) / (1024.0 * 1024.0));
    return 0;
}
