-- viber_data of the same app generation: the call log and the phone-book mirror.
PRAGMA user_version = 53;
CREATE TABLE android_metadata (locale TEXT);
INSERT INTO android_metadata VALUES('en_US');
CREATE TABLE calls (_id INTEGER PRIMARY KEY AUTOINCREMENT, call_id LONG NOT NULL, aggregate_hash LONG NOT NULL, number TEXT NOT NULL, canonized_number TEXT NOT NULL, viber_call BOOLEAN DEFAULT TRUE, viber_call_type INTEGER DEFAULT 1, date LONG NOT NULL, duration LONG NOT NULL, type INT NOT NULL, end_reason INT DEFAULT 0, start_reason INT DEFAULT 0, token LONG DEFAULT 0, looked BOOLEAN DEFAULT TRUE);
CREATE TABLE phonebookcontact (_id INTEGER PRIMARY KEY AUTOINCREMENT, native_id LONG, display_name TEXT COLLATE LOCALIZED, phonetic_name TEXT, phone_label TEXT, low_display_name TEXT, starred BOOLEAN DEFAULT FALSE, viber BOOLEAN DEFAULT FALSE, contact_lookup_key TEXT, contact_hash LONG DEFAULT 0, has_number BOOLEAN DEFAULT FALSE, has_name BOOLEAN DEFAULT FALSE, flags INTEGER DEFAULT 0);
CREATE TABLE phonebookdata (_id INTEGER PRIMARY KEY AUTOINCREMENT, contact_id LONG NOT NULL, data1 TEXT, data2 TEXT, data3 TEXT, data4 TEXT, data5 TEXT, mime_type INTEGER DEFAULT 0);
CREATE TABLE phonebookrawcontact (_id INTEGER PRIMARY KEY AUTOINCREMENT, contact_id LONG NOT NULL, version INTEGER DEFAULT 0, starred BOOLEAN DEFAULT FALSE);
CREATE TABLE vibernumbers (_id INTEGER PRIMARY KEY AUTOINCREMENT, canonized_number TEXT UNIQUE, photo TEXT, viber_name TEXT, clear BOOLEAN DEFAULT FALSE, member_id TEXT);
CREATE TABLE blockednumbers (_id INTEGER PRIMARY KEY AUTOINCREMENT, canonized_number TEXT UNIQUE, blocked_date LONG DEFAULT 0);
CREATE INDEX call_date ON calls (date DESC);
CREATE INDEX phonebookcontact_name ON phonebookcontact (display_name COLLATE LOCALIZED);
