-- A small viber_data of the same generation: the call log and the phone-book mirror
-- (its newest row is in viber_data_late.sql).
CREATE TABLE android_metadata (locale TEXT);
INSERT INTO android_metadata VALUES ('en_US');
CREATE TABLE calls (_id INTEGER PRIMARY KEY AUTOINCREMENT, call_id LONG NOT NULL, aggregate_hash LONG NOT NULL, number TEXT NOT NULL, canonized_number TEXT NOT NULL, viber_call BOOLEAN DEFAULT TRUE, viber_call_type INTEGER DEFAULT 1, date LONG NOT NULL, duration LONG NOT NULL, type INT NOT NULL, end_reason INT DEFAULT 0, start_reason INT DEFAULT 0, token LONG DEFAULT 0, looked BOOLEAN DEFAULT TRUE);
CREATE INDEX call_date ON calls (date DESC);
CREATE TABLE phonebookcontact (_id INTEGER PRIMARY KEY AUTOINCREMENT, native_id LONG, display_name TEXT, starred BOOLEAN, viber BOOLEAN);
CREATE TABLE phonebookdata (_id INTEGER PRIMARY KEY AUTOINCREMENT, contact_id LONG, data1 TEXT, mime_type INTEGER);
CREATE TABLE vibernumbers (_id INTEGER PRIMARY KEY AUTOINCREMENT, canonized_number TEXT, photo TEXT, viber_name TEXT);
CREATE TABLE blockednumbers (_id INTEGER PRIMARY KEY AUTOINCREMENT, canonized_number TEXT, blocked_date LONG);
-- aggregate_hash is the MD5 of the number's UTF-8 bytes as four little-endian 32-bit
-- words combined by exclusive or.
INSERT INTO calls (_id, call_id, aggregate_hash, number, canonized_number, viber_call, viber_call_type, date, duration, type, end_reason, start_reason, token, looked) VALUES
 (1, 1700000300, -1726315632, '+4915110000002', '4915110000002', 1, 1, 1700000300000, 95, 2, 3, 0, 5000000004, 1);
