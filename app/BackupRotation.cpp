#include "BackupRotation.h"

#include <QFileInfo>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

const QLatin1StringView Prefix("daily-");
const QLatin1StringView Suffix(".tlmdb");

using Copy = std::pair<QDate, QString>;

// The daily copies among the names, newest first.
std::vector<Copy> Copies(const QStringList &fileNames)
{
    std::vector<Copy> copies;
    for (const QString &name : fileNames) {
        const QDate day = TBackupRotation::DayOf(name);
        if (day.isValid())
            copies.emplace_back(day, name);
    }
    std::stable_sort(copies.begin(), copies.end(),
                     [](const Copy &a, const Copy &b) { return a.first > b.first; });
    return copies;
}

// Splits the copies up to today into kept and removed.
void Plan(const QDate &today, const QStringList &fileNames, int daily, int weekly,
          QStringList *kept, QStringList *removed)
{
    int dailies = 0, weeks = 0;
    int lastWeek = 0, lastWeekYear = 0;
    QDate lastDay;
    for (const Copy &c : Copies(fileNames)) {
        if (c.first > today)
            continue;
        bool keep = false;
        if (c.first == lastDay) {
            // Another name for the same day (a path beside a bare name) may
            // be the same file: keep it, uncounted.
            keep = true;
        } else if (dailies < daily) {
            ++dailies;
            keep = true;
        } else {
            int year = 0;
            const int week = c.first.weekNumber(&year);
            if (week != lastWeek || year != lastWeekYear) {
                lastWeek = week;
                lastWeekYear = year;
                if (weeks < weekly) {
                    ++weeks;
                    keep = true;
                }
            }
        }
        lastDay = c.first;
        (keep ? kept : removed)->append(c.second);
    }
}

} // namespace

QString TBackupRotation::FileName(const QDate &day)
{
    return Prefix + day.toString(u"yyyy-MM-dd") + Suffix;
}

QDate TBackupRotation::DayOf(const QString &fileName)
{
    const QString name = QFileInfo(fileName).fileName();
    // "daily-" + 10 + ".tlmdb"; digits only where digits belong.
    if (name.size() != Prefix.size() + 10 + Suffix.size() || !name.startsWith(Prefix) ||
        !name.endsWith(Suffix))
        return {};
    const QStringView ymd = QStringView(name).mid(Prefix.size(), 10);
    for (int i = 0; i < 10; ++i) {
        const bool dash = i == 4 || i == 7;
        if (dash ? ymd.at(i) != u'-' : (ymd.at(i) < u'0' || ymd.at(i) > u'9'))
            return {};
    }
    return QDate(ymd.left(4).toInt(), ymd.mid(5, 2).toInt(), ymd.mid(8, 2).toInt());
}

bool TBackupRotation::IsDue(const QDate &today, const QStringList &fileNames)
{
    return std::none_of(fileNames.begin(), fileNames.end(),
                        [&](const QString &name) { return DayOf(name) == today; });
}

QStringList TBackupRotation::ToRemove(const QDate &today, const QStringList &fileNames, int daily,
                                      int weekly)
{
    QStringList kept, removed;
    Plan(today, fileNames, daily, weekly, &kept, &removed);
    std::reverse(removed.begin(), removed.end());
    return removed;
}

QStringList TBackupRotation::Kept(const QDate &today, const QStringList &fileNames, int daily,
                                  int weekly)
{
    QStringList kept, removed;
    Plan(today, fileNames, daily, weekly, &kept, &removed);
    return kept;
}
