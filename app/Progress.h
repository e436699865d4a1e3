#pragma once

// Progress of long work done on the calling thread (exports, PDF, printing,
// imports): the worker calls the callback now and then with how many of how
// many steps are done; a callback that returns false asks it to stop. A
// worker that stops raises ECancelled after undoing what it started, so the
// caller can tell a cancelled job from a failed one.

#include "HiClass.h"

#include <functional>

using TProgress = std::function<bool(qint64 done, qint64 total)>;

class ECancelled : public TError {
public:
    ECancelled() : TError(QStringLiteral("已取消。")) {}
};

// Calls progress, when there is one, and raises ECancelled when it says stop.
inline void ReportProgress(const TProgress &progress, qint64 done, qint64 total)
{
    if (progress && !progress(done, total))
        throw ECancelled();
}
