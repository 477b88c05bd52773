-- The call log file of today's Android app, declared as the app writes it; shared by the
-- reader's fixtures and the simulator's modern sample phone.
CREATE TABLE android_metadata (locale TEXT);
INSERT INTO android_metadata VALUES ('uk_UA');
CREATE TABLE calls (_id INTEGER PRIMARY KEY AUTOINCREMENT, call_id LONG NOT NULL, aggregate_hash LONG NOT NULL, number TEXT NOT NULL,
  canonized_number TEXT NOT NULL, viber_call BOOLEAN DEFAULT TRUE, viber_call_type INTEGER DEFAULT 1, date LONG NOT NULL,
  duration LONG NOT NULL, type INT NOT NULL, end_reason INT DEFAULT 0, start_reason INT DEFAULT 0, token LONG DEFAULT 0,
  looked BOOLEAN DEFAULT TRUE, conference_info TEXT, group_id LONG DEFAULT 0, flags INTEGER DEFAULT 0);
CREATE INDEX call_date ON calls (date DESC);
CREATE TABLE phonebookcontact (_id INTEGER PRIMARY KEY AUTOINCREMENT, native_id INTEGER, display_name TEXT, starred INTEGER DEFAULT 0);
CREATE TABLE phonebookdata (_id INTEGER PRIMARY KEY AUTOINCREMENT, contact_id INTEGER, data1 TEXT, data2 TEXT, mime_type INTEGER);
CREATE TABLE vibernumbers (_id INTEGER PRIMARY KEY AUTOINCREMENT, canonized_number TEXT, photo TEXT, viber_name TEXT,
  member_id TEXT, encrypted_member_id TEXT, viber_id TEXT, date_of_birth TEXT);
CREATE TABLE blockednumbers (_id INTEGER PRIMARY KEY AUTOINCREMENT, canonized_number TEXT, blocked_date LONG, block_reason INTEGER, status INTEGER);
