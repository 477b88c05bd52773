-- The call log and phone-book mirror of the modern sample phone (rows for
-- modern_viber_data_schema.sql); the newest phone-book rows are in
-- modern_viber_data_late.sql. aggregate_hash is the MD5 of the number's UTF-8 bytes as
-- four little-endian 32-bit words combined by exclusive or, as on the older sample.
UPDATE android_metadata SET locale = 'de_DE';
INSERT INTO calls (_id, call_id, aggregate_hash, number, canonized_number, viber_call, viber_call_type, date, duration, type, end_reason, start_reason, token, looked, group_id, flags) VALUES
 (1, 1715762415, -297489086, '+4915223456781', '4915223456781', 1, 1, 1715762415000, 95, 2, 0, 0, 5971450062551350074, 1, 0, 0);
INSERT INTO phonebookcontact (_id, native_id, display_name, starred) VALUES (1, 412, 'Jonas Becker', 0);
INSERT INTO phonebookdata (_id, contact_id, data1, data2, mime_type) VALUES (1, 1, '+49 152 23456781', '4915223456781', 0);
