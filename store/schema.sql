-- The data file's tables. Every free text is stored as base64 of its GB18030
-- bytes; the record type is one of the plain words 支出 and 收入.
-- AUTOINCREMENT keeps ids from ever being reused, so an id seen in a list can
-- never name a newer record.
PRAGMA journal_mode = DELETE;
-- Marks the file as a Tallimo ledger ("TLMD") and gives its schema version
-- (Schema::CurrentVersion() without test steps; tst_DbClass checks both).
PRAGMA application_id = 1414286660;
PRAGMA user_version = 1;

CREATE TABLE [users] (
  [id]   INTEGER PRIMARY KEY AUTOINCREMENT,
  [name] TEXT NOT NULL,
  [pwd]  TEXT NOT NULL
);

CREATE TABLE [cates] (
  [id]   INTEGER PRIMARY KEY AUTOINCREMENT,
  [user] TEXT NOT NULL,
  [out]  TEXT NOT NULL DEFAULT '',
  [in]   TEXT NOT NULL DEFAULT ''
);

CREATE TABLE [data] (
  [id]     INTEGER PRIMARY KEY AUTOINCREMENT,
  [user]   TEXT NOT NULL,
  [date]   TEXT NOT NULL,
  [type]   TEXT NOT NULL,
  [cate]   TEXT NOT NULL,
  [amount] REAL NOT NULL,
  [notes]  TEXT NOT NULL DEFAULT ''
);

-- One account per name, even when two running copies add it at once.
CREATE UNIQUE INDEX [users_name] ON [users] ([name]);
CREATE INDEX [cates_user] ON [cates] ([user]);
-- Serves every period query from the index alone: one range scan per user and
-- date range, already in the record list's order (date, then 支出 before 收入
-- as UTF-8 sorts them, then id). Upgrade() rebuilds an older form of it.
CREATE INDEX [data_period] ON [data] ([user], [date], [type], [id], [cate], [amount], [notes]);
