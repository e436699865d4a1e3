-- The data file's tables. Every free text is stored as base64 of its GB18030
-- bytes; the record type is one of the plain words 支出 and 收入.
-- AUTOINCREMENT keeps ids from ever being reused, so an id seen in a list can
-- never name a newer record.
PRAGMA journal_mode = DELETE;
-- Marks the file as a Tallimo ledger ("TLMD") and gives its schema version
-- (Schema::CurrentVersion() without test steps; tst_DbClass checks both).
PRAGMA application_id = 1414286660;
PRAGMA user_version = 3;

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

-- Version 3: the recycle bin, budgets, recurring entries and the settings
-- kept in the ledger (per account, or for the whole ledger under user '').

-- A record's content before a delete or an edit ("delete", "edit"); an
-- edit's successor is the id the edited record took.
CREATE TABLE [recycle] (
  [id] INTEGER PRIMARY KEY AUTOINCREMENT,
  [user] TEXT NOT NULL DEFAULT '',
  [time] INTEGER NOT NULL DEFAULT 0,
  [what] TEXT NOT NULL DEFAULT '',
  [record] INTEGER NOT NULL DEFAULT 0,
  [successor] INTEGER NOT NULL DEFAULT 0,
  [date] TEXT NOT NULL DEFAULT '',
  [type] TEXT NOT NULL DEFAULT '',
  [cate] TEXT NOT NULL DEFAULT '',
  [cents] INTEGER NOT NULL DEFAULT 0,
  [notes] TEXT NOT NULL DEFAULT '',
  [restored] INTEGER NOT NULL DEFAULT 0
);

-- A month's budget of one expense category (cate '' for all expenses);
-- month '' is the default for every month, "yyyy-mm" overrides one.
CREATE TABLE [budgets] (
  [id] INTEGER PRIMARY KEY AUTOINCREMENT,
  [user] TEXT NOT NULL DEFAULT '',
  [cate] TEXT NOT NULL DEFAULT '',
  [month] TEXT NOT NULL DEFAULT '',
  [cents] INTEGER NOT NULL DEFAULT 0
);

-- An entry that repeats; stop is '' or the last day it may fall on, rule
-- its recurrence in the program's compact words.
CREATE TABLE [recurring] (
  [id] INTEGER PRIMARY KEY AUTOINCREMENT,
  [user] TEXT NOT NULL DEFAULT '',
  [type] TEXT NOT NULL DEFAULT '',
  [cate] TEXT NOT NULL DEFAULT '',
  [cents] INTEGER NOT NULL DEFAULT 0,
  [notes] TEXT NOT NULL DEFAULT '',
  [start] TEXT NOT NULL DEFAULT '',
  [stop] TEXT NOT NULL DEFAULT '',
  [rule] TEXT NOT NULL DEFAULT '',
  [time] INTEGER NOT NULL DEFAULT 0
);

-- One row per due date an entry was proposed for, so that each proposal
-- is made once whichever computer starts first.
CREATE TABLE [recurring_made] (
  [id] INTEGER PRIMARY KEY AUTOINCREMENT,
  [entry] INTEGER NOT NULL DEFAULT 0,
  [due] TEXT NOT NULL DEFAULT '',
  [state] TEXT NOT NULL DEFAULT '',
  [record] INTEGER NOT NULL DEFAULT 0,
  [time] INTEGER NOT NULL DEFAULT 0
);

CREATE TABLE [settings] (
  [id] INTEGER PRIMARY KEY AUTOINCREMENT,
  [user] TEXT NOT NULL DEFAULT '',
  [key] TEXT NOT NULL DEFAULT '',
  [value] TEXT NOT NULL DEFAULT ''
);

CREATE INDEX [recycle_user] ON [recycle] ([user], [time]);
CREATE INDEX [recycle_record] ON [recycle] ([record]);
CREATE UNIQUE INDEX [budgets_month] ON [budgets] ([user], [cate], [month]);
CREATE INDEX [recurring_user] ON [recurring] ([user]);
CREATE UNIQUE INDEX [recurring_made_due] ON [recurring_made] ([entry], [due]);
CREATE UNIQUE INDEX [settings_key] ON [settings] ([user], [key]);
