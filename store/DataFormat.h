#pragma once

// The version of the data format the store reads and writes: the tables of
// the data file and of a server ledger. It goes up when a change of the
// schema needs an upgrade; `tallimo --version` prints it.

inline constexpr int DataFormatVersion = 1;
