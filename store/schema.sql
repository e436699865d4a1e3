-- The data file's tables. Every free text is stored as base64 of its GB18030
-- bytes; the record type is one of the plain words 支出 and 收入.
-- AUTOINCREMENT keeps ids from ever being reused, so an id seen in a list can
-- never name a newer record.
PRAGMA journal_mode = DELETE;
-- Marks the file as a Tallimo ledger ("TLMD") and gives its schema version
-- (Schema::CurrentVersion() without test steps; tst_DbClass checks both).
PRAGMA application_id = 1414286660;
PRAGMA user_version = 2;

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

-- Version 2: what the bill imports remember (the upgrade step in
-- store/Schema.cpp runs the same statements on an older ledger). A batch is
-- one import of one bill (its sums in cents; "time" and "undone" in seconds
-- since 1970, "undone" 0 while it stands); a bill line is one imported line:
-- the record it became, the app's order number ("ext", empty when the bill
-- has none) and what the record was as imported, so an undo can tell whether
-- it was edited since. Rules (word -> category) and app classes (the app's
-- own class -> category) are per account; column mappings are per header
-- line (its key, and the mapping in a compact text form).

CREATE TABLE [bill_batches] (
  [id] INTEGER PRIMARY KEY AUTOINCREMENT,
  [user] TEXT NOT NULL DEFAULT '',
  [source] TEXT NOT NULL DEFAULT '',
  [file] TEXT NOT NULL DEFAULT '',
  [time] INTEGER NOT NULL DEFAULT 0,
  [count] INTEGER NOT NULL DEFAULT 0,
  [out_cents] INTEGER NOT NULL DEFAULT 0,
  [in_cents] INTEGER NOT NULL DEFAULT 0,
  [undone] INTEGER NOT NULL DEFAULT 0
);

CREATE TABLE [bill_lines] (
  [id] INTEGER PRIMARY KEY AUTOINCREMENT,
  [batch] INTEGER NOT NULL DEFAULT 0,
  [record] INTEGER NOT NULL DEFAULT 0,
  [source] TEXT NOT NULL DEFAULT '',
  [ext] TEXT NOT NULL DEFAULT '',
  [party] TEXT NOT NULL DEFAULT '',
  [date] TEXT NOT NULL DEFAULT '',
  [type] TEXT NOT NULL DEFAULT '',
  [cate] TEXT NOT NULL DEFAULT '',
  [cents] INTEGER NOT NULL DEFAULT 0,
  [notes] TEXT NOT NULL DEFAULT ''
);

CREATE TABLE [bill_rules] (
  [id] INTEGER PRIMARY KEY AUTOINCREMENT,
  [user] TEXT NOT NULL DEFAULT '',
  [word] TEXT NOT NULL DEFAULT '',
  [cate] TEXT NOT NULL DEFAULT ''
);

CREATE TABLE [bill_classes] (
  [id] INTEGER PRIMARY KEY AUTOINCREMENT,
  [user] TEXT NOT NULL DEFAULT '',
  [source] TEXT NOT NULL DEFAULT '',
  [class] TEXT NOT NULL DEFAULT '',
  [cate] TEXT NOT NULL DEFAULT ''
);

CREATE TABLE [bill_mappings] (
  [id] INTEGER PRIMARY KEY AUTOINCREMENT,
  [header] TEXT NOT NULL DEFAULT '',
  [mapping] TEXT NOT NULL DEFAULT ''
);

CREATE INDEX [bill_batches_user] ON [bill_batches] ([user], [id]);
-- An order number is imported once per ledger, whichever account took it.
CREATE UNIQUE INDEX [bill_lines_ext] ON [bill_lines] ([source], [ext]) WHERE [ext] <> '';
CREATE INDEX [bill_lines_batch] ON [bill_lines] ([batch]);
CREATE INDEX [bill_lines_record] ON [bill_lines] ([record]);
CREATE UNIQUE INDEX [bill_rules_word] ON [bill_rules] ([user], [word]);
CREATE UNIQUE INDEX [bill_classes_class] ON [bill_classes] ([user], [source], [class]);
CREATE UNIQUE INDEX [bill_mappings_header] ON [bill_mappings] ([header]);
