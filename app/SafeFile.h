#pragma once

// Writing a whole new file so that its name always holds either the old file
// or the complete new one: the content goes to a temporary sibling named
// "<target>.partial-<pid>-XXXXXX", which is synced, renamed over the target,
// and the folder synced after it. Every path that does not commit removes the
// temporary; one left behind by a killed process is recognised by its name
// and removed by RemoveStale once that process no longer runs.

#include <QFileDevice>
#include <QString>

class TSafeFile {
public:
    static constexpr QFileDevice::Permissions OwnerOnly =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner;

    // Creates the empty temporary with the given mode; raises EInOutError when
    // the folder cannot take it.
    explicit TSafeFile(const QString &target, QFileDevice::Permissions mode = OwnerOnly);
    ~TSafeFile();
    TSafeFile(const TSafeFile &) = delete;
    TSafeFile &operator=(const TSafeFile &) = delete;

    QString Target() const { return m_target; }
    // Where to write the new content (closed, empty file).
    QString TempPath() const { return m_temp; }

    // Syncs the temporary, renames it over the target and syncs the folder.
    // Raises EInOutError; the temporary is gone either way afterwards.
    void Commit();

    // True when fileName (without folder) is one of our temporaries; gives the
    // writer's process id.
    static bool IsTempName(const QString &fileName, qint64 *pid = nullptr);
    // Removes the temporaries in folder whose writing process is gone (and a
    // journal beside them); returns how many files went.
    static int RemoveStale(const QString &folder);

    // fsync of one file or folder; false with errno set when it fails.
    static bool SyncPath(const QString &path);

private:
    QString m_target, m_temp;
    bool m_done = false;
};
