// Speed of the filter box over many records, without a store or a window:
//   tallimo_bench_filter [records]   (default 1,000,000)
// makes records like a ledger's (a few dozen categories, short Chinese and
// Latin notes in the stored form, base64 of GB18030, on most records), then
// for a few typed texts times one keystroke over the first 100,000 records
// (a year) and over all of them, in three ways:
//   column  notes decoded and folded once per period (TFoldedTexts), each
//           category's terms found once: the way the browser should go;
//   decoded notes decoded once, folded while matching;
//   stored  notes decoded from the stored form at every keystroke.
// Each figure is the median of five runs, in milliseconds, parsing included;
// "build" is the one-off cost of the column.

#include "HiClass.h"
#include "RecordFilter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

struct Records {
    QStringList cates;
    std::vector<int> cate;
    std::vector<qint64> cents;
    QByteArray stored; // base64 notes, one block
    std::vector<int> notesAt, notesLen;
};

Records Make(int n)
{
    static const char *const cates[] = {
        "餐饮",   "交通", "房租", "水电", "通讯", "服装", "医疗", "教育", "娱乐", "旅游",
        "日用品", "书籍", "礼金", "保险", "维修", "宠物", "运动", "数码", "家具", "KFC",
        "Taxi",   "网购", "燃气", "物业", "停车", "早餐", "午餐", "晚餐", "水果", "零食",
        "话费",   "宽带", "电费", "水费", "医药", "理发", "洗衣", "快递", "捐款", "其他"};
    static const char *const words[] = {
        "午饭", "和同事", "一起", "地铁", "公交", "发票",   "收据",      "房东",
        "超市", "买菜",   "修车", "电费", "水费", "KFC",    "Starbucks", "ＡＢＣ",
        "2019", "12.5",   "周末", "孩子", "学费", "网购",   "退款",      "双十一",
        "生日", "礼物",   "看病", "挂号", "加油", "停车费", "物业费",    "房租",
        "手机", "充值",   "会员", "年费", "电影", "门票"};
    QRandomGenerator rng(21);
    Records r;
    for (const char *c : cates)
        r.cates.append(QString::fromUtf8(c));
    r.cate.reserve(size_t(n));
    r.cents.reserve(size_t(n));
    r.notesAt.reserve(size_t(n));
    r.notesLen.reserve(size_t(n));
    for (int i = 0; i < n; ++i) {
        r.cate.push_back(int(rng.bounded(r.cates.size())));
        // Mostly small amounts, some large: a ledger's spread.
        const int scale = int(rng.bounded(4));
        r.cents.push_back(1 + rng.bounded(scale == 0 ? 100000 : 20000));
        QString note;
        const int count = int(rng.bounded(5)); // a fifth without notes
        for (int w = 0; w < count; ++w) {
            if (w)
                note += QChar(u' ');
            note += QString::fromUtf8(words[rng.bounded(int(std::size(words)))]);
        }
        const QByteArray b64 = note.isEmpty() ? QByteArray() : THi::Base64Encode(note).toLatin1();
        r.notesAt.push_back(int(r.stored.size()));
        r.notesLen.push_back(int(b64.size()));
        r.stored += b64;
    }
    return r;
}

QString Notes(const Records &r, int i)
{
    if (r.notesLen[size_t(i)] == 0)
        return {};
    return THi::Base64DecodeBytes(QByteArray::fromRawData(
        r.stored.constData() + r.notesAt[size_t(i)], r.notesLen[size_t(i)]));
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Median of five runs of work(n) in ms; the last run's count in *hits.
double Time(const std::function<int(int)> &work, int n, int *hits)
{
    std::vector<double> ms;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer t;
        t.start();
        *hits = work(n);
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    return Median(ms);
}

// The category masks of a filter: one search per distinct category.
std::vector<quint32> CateTerms(const TRecordFilter &f, const TFoldedTexts &cates)
{
    std::vector<quint32> m(size_t(cates.size()));
    for (int c = 0; c < cates.size(); ++c)
        m[size_t(c)] = f.termsInFolded(cates.at(c));
    return m;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int n = argc > 1 ? std::max(100000, QByteArray(argv[1]).toInt()) : 1000000;
    const int year = 100000;

    std::printf("Making %d records...\n", n);
    const Records r = Make(n);

    TFoldedTexts cates;
    for (const QString &c : r.cates)
        cates.append(c);

    // The one-off costs: decoding every note, and decoding plus folding.
    std::vector<QString> decoded;
    TFoldedTexts column;
    int unused = 0;
    const double decodeMs = Time(
        [&](int count) {
            decoded.clear();
            decoded.reserve(size_t(count));
            for (int i = 0; i < count; ++i)
                decoded.push_back(Notes(r, i));
            return count;
        },
        n, &unused);
    auto build = [&](int count) {
        column.clear();
        column.reserve(count, count * 8);
        for (int i = 0; i < count; ++i)
            column.appendStored(
                QByteArrayView(r.stored.constData() + r.notesAt[size_t(i)], r.notesLen[size_t(i)]));
        return count;
    };
    const double buildYear = Time(build, year, &unused);
    const double buildAll = Time(build, n, &unused);
    std::printf("decode all notes through THi: %.1f ms (%d)\n"
                "build the folded column from the stored form: %.1f ms (100,000), %.1f ms (%d)\n\n",
                decodeMs, n, buildYear, buildAll, n);

    const QStringList typed = {u"电费"_qs,      u"kfc"_qs,      u"12.5"_qs,       u"100-500"_qs,
                               u"电费 >100"_qs, u"ｓｔａｒ"_qs, u"没有这个词"_qs, u"2019 修车"_qs};
    std::printf("%8s | %9s %9s | %9s %9s | %9s %9s | typed\n", "hits", "column", "column",
                "decoded", "decoded", "stored", "stored");
    std::printf("%8s | %9s %9s | %9s %9s | %9s %9s |\n", "(all)", "100k", "all", "100k", "all",
                "100k", "all");
    for (const QString &text : typed) {
        auto viaColumn = [&](int count) {
            const TRecordFilter f(text);
            const std::vector<quint32> cm = CateTerms(f, cates);
            int hits = 0;
            for (int i = 0; i < count; ++i)
                hits +=
                    f.matchFolded(column.at(i), cm[size_t(r.cate[size_t(i)])], r.cents[size_t(i)]);
            return hits;
        };
        auto viaDecoded = [&](int count) {
            const TRecordFilter f(text);
            const std::vector<quint32> cm = CateTerms(f, cates);
            int hits = 0;
            for (int i = 0; i < count; ++i) {
                const quint32 have =
                    cm[size_t(r.cate[size_t(i)])] | f.termsForAmount(r.cents[size_t(i)]);
                hits +=
                    have == f.allTerms() ||
                    (have | f.termsIn(decoded[size_t(i)], f.allTerms() & ~have)) == f.allTerms();
            }
            return hits;
        };
        auto viaStored = [&](int count) {
            const TRecordFilter f(text);
            const std::vector<quint32> cm = CateTerms(f, cates);
            int hits = 0;
            for (int i = 0; i < count; ++i) {
                const quint32 have =
                    cm[size_t(r.cate[size_t(i)])] | f.termsForAmount(r.cents[size_t(i)]);
                hits += have == f.allTerms() ||
                        (have | f.termsIn(Notes(r, i), f.allTerms() & ~have)) == f.allTerms();
            }
            return hits;
        };
        int hits = 0, check = 0;
        const double c1 = Time(viaColumn, year, &unused);
        const double cn = Time(viaColumn, n, &hits);
        const double d1 = Time(viaDecoded, year, &unused);
        const double dn = Time(viaDecoded, n, &check);
        if (check != hits)
            std::printf("MISMATCH: %d hits decoded, %d in the column\n", check, hits);
        const double s1 = Time(viaStored, year, &unused);
        const double sn = Time(viaStored, n, &check);
        if (check != hits)
            std::printf("MISMATCH: %d hits stored, %d in the column\n", check, hits);
        std::printf("%8d | %9.1f %9.1f | %9.1f %9.1f | %9.1f %9.1f | %s\n", hits, c1, cn, d1, dn,
                    s1, sn, qPrintable(text));
    }
    return 0;
}
