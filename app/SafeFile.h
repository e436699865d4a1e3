#pragma once

// Writing a whole new file so that its name always holds either the old file
// or the complete new one: the content goes to a temporary sibling named
// "<target>.partial-<pid>-XXXXXX", which is synced, renamed over the target,
// and the folder synced after it. Every path that does not commit removes the
// temporary; one left behind by a killed process is recognised by its name
// and removed by RemoveStale once that process no longer runs.

#include <QFileDevice>
#include <QIODevice>
#include <QString>

class TSafeFile {
public:
    static constexpr QFileDevice::Permissions OwnerOnly =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner;

    // The mode a file created now gets from the process's umask (0666 without
    // the umask's bits): what the user's own files get, for files meant to be
    // passed on (exports, PDFs). Copies of the data keep OwnerOnly.
    static QFileDevice::Permissions UmaskMode();

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

// Writes a file through the system calls and keeps the system's error number
// of the first failure, so that a message can say what happened (a full disk,
// a quota) and name the file the user chose rather than a temporary. Buffers
// small writes; close() (or the destructor) flushes.
class TFileSink : public QIODevice {
public:
    // Opens path for writing, truncated; raises EInOutError naming shownAs.
    TFileSink(const QString &path, const QString &shownAs);
    ~TFileSink() override;

    // Flushes and closes; raises EInOutError naming shownAs when the data did
    // not all reach the file.
    void Finish();
    // errno of the first failed write, else 0.
    int Error() const { return m_error; }
    bool isSequential() const override { return true; }
    void close() override;

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 len) override;

private:
    bool flushBuffer();

    QString m_shownAs;
    int m_fd = -1;
    int m_error = 0;
    QByteArray m_buf;
};
