-- A small viber_data of the same generation: the call log and an empty phone-book mirror.
CREATE TABLE android_metadata (locale TEXT);
INSERT INTO android_metadata VALUES ('en_US');
CREATE TABLE calls (_id INTEGER PRIMARY KEY AUTOINCREMENT, call_id LONG NOT NULL, aggregate_hash LONG NOT NULL, number TEXT NOT NULL, canonized_number TEXT NOT NULL, viber_call BOOLEAN DEFAULT TRUE, viber_call_type INTEGER DEFAULT 1, date LONG NOT NULL, duration LONG NOT NULL, type INT NOT NULL, end_reason INT DEFAULT 0, start_reason INT DEFAULT 0, token LONG DEFAULT 0, looked BOOLEAN DEFAULT TRUE);
CREATE INDEX call_date ON calls (date DESC);
CREATE TABLE phonebookcontact (_id INTEGER PRIMARY KEY AUTOINCREMENT, native_id LONG, display_name TEXT, starred BOOLEAN, viber BOOLEAN);
CREATE TABLE phonebookdata (_id INTEGER PRIMARY KEY AUTOINCREMENT, contact_id LONG, data1 TEXT, mime_type INTEGER);
CREATE TABLE vibernumbers (_id INTEGER PRIMARY KEY AUTOINCREMENT, canonized_number TEXT, photo TEXT, viber_name TEXT);
CREATE TABLE blockednumbers (_id INTEGER PRIMARY KEY AUTOINCREMENT, canonized_number TEXT, blocked_date LONG);
INSERT INTO calls (_id, call_id, aggregate_hash, number, canonized_number, viber_call, viber_call_type, date, duration, type, token) VALUES
 (1, 880001, -1183940123, '+4915110000002', '+4915110000002', 1, 1, 1700000300000, 95, 2, 5000000004);
