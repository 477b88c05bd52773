-- A small viber_messages of the app's database version 53: two chats, a few messages,
-- one picture and one call.
CREATE TABLE android_metadata (locale TEXT);
INSERT INTO android_metadata VALUES ('en_US');
CREATE TABLE conversations (_id INTEGER PRIMARY KEY AUTOINCREMENT, conversation_type INTEGER DEFAULT 0, group_id INTEGER DEFAULT 0, recipient_number TEXT, share_location INTEGER DEFAULT 0, message_draft TEXT, unread_message_count INTEGER DEFAULT 0, unread_calls_count INTEGER DEFAULT 0, media_msg_count INTEGER DEFAULT 0, deleted INTEGER DEFAULT 0, delete_token LONG DEFAULT 0, name TEXT, background_landscape TEXT, background_portrait TEXT, smart_notification INTEGER, smart_event_date INTEGER DEFAULT 0, mute_notification INTEGER, flags INTEGER DEFAULT 0, date LONG DEFAULT 0, last_message_id LONG DEFAULT 0, read_notification_token LONG DEFAULT 0, participant_id_1 LONG DEFAULT 0, participant_id_2 LONG DEFAULT 0, participant_id_3 LONG DEFAULT 0, participant_id_4 LONG DEFAULT 0, participant_id_5 LONG DEFAULT 0, participant_id_6 LONG DEFAULT 0, participant_id_7 LONG DEFAULT 0, participant_id_8 LONG DEFAULT 0);
CREATE TABLE participants (_id INTEGER PRIMARY KEY AUTOINCREMENT, conversation_id INTEGER DEFAULT 0, participant_info_id INTEGER DEFAULT 0, last_message_id INTEGER DEFAULT 0, active INTEGER DEFAULT TRUE, group_role INTEGER DEFAULT 0);
CREATE TABLE participants_info (_id INTEGER PRIMARY KEY AUTOINCREMENT, number TEXT, display_name TEXT, contact_name TEXT, contact_id INTEGER DEFAULT 0, native_contact_id INTEGER DEFAULT 0, viber_name TEXT, viber_image TEXT, location_lat LONG DEFAULT 0, location_lng LONG DEFAULT 0, location_date LONG DEFAULT 0, participant_type INTEGER DEFAULT 1, has_contact_name INTEGER DEFAULT 0, native_photo_id LONG DEFAULT 0, has_photo INTEGER DEFAULT 0);
CREATE TABLE messages (_id INTEGER PRIMARY KEY AUTOINCREMENT, address TEXT NOT NULL, date INTEGER NOT NULL, read INTEGER DEFAULT 0, opened INTEGER DEFAULT 0, status INTEGER DEFAULT 0, type INTEGER NOT NULL, body TEXT, sync_read INTEGER DEFAULT 0, flag INTEGER DEFAULT 0, token LONG, location_lat LONG, location_lng LONG, extra_uri TEXT, extra_mime TEXT, extra_status INTEGER, seq INTEGER, message_global_id INTEGER, extra_upload_id LONG, extra_download_id TEXT, extra_bucket_name TEXT, extra_duration LONG, fb_status INTEGER DEFAULT 0, twitter_status INTEGER DEFAULT 0, thumbnail_x INTEGER, thumbnail_y INTEGER, description TEXT, deleted INTEGER DEFAULT 0, count INTEGER DEFAULT 1, group_id INTEGER DEFAULT 0, conversation_id INTEGER DEFAULT 0, conversation_type INTEGER DEFAULT 0, participant_id DEFAULT 0, extra_flags INTEGER DEFAULT 0, date_real INTEGER NOT NULL);
CREATE TABLE messages_calls (_id INTEGER PRIMARY KEY AUTOINCREMENT, conversation_id INTEGER NOT NULL, message_id INTEGER NOT NULL, canonized_number TEXT NOT NULL, viber_call_type INTEGER DEFAULT 1, date LONG NOT NULL, duration LONG NOT NULL, type INT NOT NULL, end_reason INT DEFAULT 0, start_reason INT DEFAULT 0, token LONG DEFAULT 0);
CREATE TABLE kvdata (_id INTEGER PRIMARY KEY AUTOINCREMENT, category TEXT, key TEXT, value TEXT);
CREATE INDEX message_token_date_asc ON messages (date ASC, token ASC);
CREATE INDEX message_token_date_desc ON messages (date DESC, token DESC);
CREATE INDEX conversation_date_desc ON conversations (date DESC);

INSERT INTO participants_info (_id, number, display_name, contact_name, viber_name, participant_type, has_contact_name) VALUES
 (1, '+4915110000001', 'Me', NULL, 'Me', 0, 0),
 (2, '+4915110000002', 'Anna Berg', 'Anna Berg', 'Anna', 1, 1),
 (3, '+4915110000003', 'Jörg Weiß', 'Jörg Weiß', 'Jörg', 1, 1);
INSERT INTO conversations (_id, conversation_type, group_id, recipient_number, name, date, participant_id_1, participant_id_2, participant_id_3) VALUES
 (1, 0, 0, '+4915110000002', NULL, 1700000300000, 2, 0, 0),
 (2, 1, 4711, NULL, 'Climbing', 1700000600000, 2, 3, 0);
INSERT INTO participants (_id, conversation_id, participant_info_id) VALUES
 (1, 1, 1), (2, 1, 2), (3, 2, 1), (4, 2, 2), (5, 2, 3);
INSERT INTO messages (_id, address, date, read, opened, status, type, body, token, extra_uri, extra_mime, seq, count, group_id, conversation_id, conversation_type, participant_id, date_real) VALUES
 (1, '+4915110000002', 1700000000000, 1, 1, 2, 0, 'Hi, are we still on for Saturday?', 5000000001, NULL, 'text', 1, 1, 0, 1, 0, 2, 1700000000000),
 (2, '+4915110000002', 1700000100000, 1, 1, 2, 1, 'Yes! 10 o''clock at the gym 😀', 5000000002, NULL, 'text', 2, 1, 0, 1, 0, 1, 1700000100000),
 (3, '+4915110000002', 1700000200000, 1, 1, 2, 0, 'IMG-20231114-WA0001.jpg', 5000000003, 'file:///storage/emulated/0/viber/media/Viber%20Images/IMG-20231114-WA0001.jpg', 'image', 3, 1, 0, 1, 0, 2, 1700000200000),
 (4, '+4915110000002', 1700000300000, 1, 1, 2, 1, '', 5000000004, NULL, 'call', 4, 1, 0, 1, 0, 1, 1700000300000),
 (5, '+4915110000003', 1700000500000, 1, 1, 2, 0, 'Grüße aus der Halle!', 5000000005, NULL, 'text', 5, 1, 4711, 2, 1, 5, 1700000500000),
 (6, '+4915110000002', 1700000600000, 0, 0, 2, 0, 'See you there', 5000000006, NULL, 'text', 6, 1, 4711, 2, 1, 4, 1700000600000);
INSERT INTO messages_calls (_id, conversation_id, message_id, canonized_number, viber_call_type, date, duration, type, token) VALUES
 (1, 1, 4, '+4915110000002', 1, 1700000300000, 95, 2, 5000000004);
