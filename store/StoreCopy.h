#pragma once

// The one-shot copies of a whole ledger between the data file on this
// computer and a server (tallimo --copy-to URL / --copy-from URL): every
// account, category list and record, ids included. A target that holds
// anything is left alone unless replace is given; then its contents go to the
// automatic copies first.

#include <QString>

namespace StoreCopy {

// Copies from one store into the other (a data file path and a server URL, in
// either order) and returns a line saying what was copied. Raises EDbError.
QString Copy(const QString &from, const QString &to, bool replace);

} // namespace StoreCopy
