-- A small viber_messages of the app's database version 53: two chats with a text of
-- each direction, a picture, a call, a voice message and a video with its thumbnail.
-- The newest rows (a location and a sticker) are in viber_messages_late.sql.
PRAGMA user_version = 53;
CREATE TABLE android_metadata (locale TEXT);
INSERT INTO android_metadata VALUES ('en_US');
CREATE TABLE conversations (_id INTEGER PRIMARY KEY AUTOINCREMENT, conversation_type INTEGER DEFAULT 0, group_id INTEGER DEFAULT 0, recipient_number TEXT, share_location INTEGER DEFAULT 0, message_draft TEXT, unread_message_count INTEGER DEFAULT 0, unread_calls_count INTEGER DEFAULT 0, media_msg_count INTEGER DEFAULT 0, deleted INTEGER DEFAULT 0, delete_token LONG DEFAULT 0, name TEXT, background_landscape TEXT, background_portrait TEXT, smart_notification INTEGER, smart_event_date INTEGER DEFAULT 0, mute_notification INTEGER, flags INTEGER DEFAULT 0, date LONG DEFAULT 0, last_message_id LONG DEFAULT 0, read_notification_token LONG DEFAULT 0, participant_id_1 LONG DEFAULT 0, participant_id_2 LONG DEFAULT 0, participant_id_3 LONG DEFAULT 0, participant_id_4 LONG DEFAULT 0, participant_id_5 LONG DEFAULT 0, participant_id_6 LONG DEFAULT 0, participant_id_7 LONG DEFAULT 0, participant_id_8 LONG DEFAULT 0);
CREATE TABLE participants (_id INTEGER PRIMARY KEY AUTOINCREMENT, conversation_id INTEGER DEFAULT 0, participant_info_id INTEGER DEFAULT 0, last_message_id INTEGER DEFAULT 0, active INTEGER DEFAULT TRUE, group_role INTEGER DEFAULT 0);
CREATE TABLE participants_info (_id INTEGER PRIMARY KEY AUTOINCREMENT, number TEXT, display_name TEXT, contact_name TEXT, contact_id INTEGER DEFAULT 0, native_contact_id INTEGER DEFAULT 0, viber_name TEXT, viber_image TEXT, location_lat LONG DEFAULT 0, location_lng LONG DEFAULT 0, location_date LONG DEFAULT 0, participant_type INTEGER DEFAULT 1, has_contact_name INTEGER DEFAULT 0, native_photo_id LONG DEFAULT 0, has_photo INTEGER DEFAULT 0);
CREATE TABLE messages (_id INTEGER PRIMARY KEY AUTOINCREMENT, address TEXT NOT NULL, date INTEGER NOT NULL, read INTEGER DEFAULT 0, opened INTEGER DEFAULT 0, status INTEGER DEFAULT 0, type INTEGER NOT NULL, body TEXT, sync_read INTEGER DEFAULT 0, flag INTEGER DEFAULT 0, token LONG, location_lat LONG, location_lng LONG, extra_uri TEXT, extra_mime TEXT, extra_status INTEGER, seq INTEGER, message_global_id INTEGER, extra_upload_id LONG, extra_download_id TEXT, extra_bucket_name TEXT, extra_duration LONG, fb_status INTEGER DEFAULT 0, twitter_status INTEGER DEFAULT 0, thumbnail_x INTEGER, thumbnail_y INTEGER, description TEXT, deleted INTEGER DEFAULT 0, count INTEGER DEFAULT 1, group_id INTEGER DEFAULT 0, conversation_id INTEGER DEFAULT 0, conversation_type INTEGER DEFAULT 0, participant_id DEFAULT 0, extra_flags INTEGER DEFAULT 0, date_real INTEGER NOT NULL);
CREATE TABLE messages_calls (_id INTEGER PRIMARY KEY AUTOINCREMENT, conversation_id INTEGER NOT NULL, message_id INTEGER NOT NULL, canonized_number TEXT NOT NULL, viber_call_type INTEGER DEFAULT 1, date LONG NOT NULL, duration LONG NOT NULL, type INT NOT NULL, end_reason INT DEFAULT 0, start_reason INT DEFAULT 0, token LONG DEFAULT 0);
CREATE TABLE kvdata (_id INTEGER PRIMARY KEY AUTOINCREMENT, category TEXT, key TEXT, value TEXT);
CREATE TABLE stickers (_id INTEGER PRIMARY KEY AUTOINCREMENT, sticker_id INTEGER UNIQUE, package_id INTEGER, column_count INTEGER DEFAULT 1, row_count INTEGER DEFAULT 1, is_svg INTEGER DEFAULT 0, flags INTEGER DEFAULT 0, uri TEXT);
CREATE TABLE stickers_packages (_id INTEGER PRIMARY KEY AUTOINCREMENT, package_id INTEGER UNIQUE, name TEXT, visibility INTEGER DEFAULT 0, flags INTEGER DEFAULT 0, menu_position INTEGER DEFAULT 0);
CREATE INDEX message_token_date_asc ON messages (date ASC, token ASC);
CREATE INDEX message_token_date_desc ON messages (date DESC, token DESC);
CREATE INDEX conversation_date_desc ON conversations (date DESC);

INSERT INTO participants_info (_id, number, display_name, contact_name, viber_name, viber_image, participant_type, has_contact_name, has_photo) VALUES
 (1, '+4915110000001', 'Me', NULL, 'Me', NULL, 0, 0, 0),
 (2, '+4915110000002', 'Anna Berg', 'Anna Berg', 'Anna', '/storage/emulated/0/viber/media/User photos/4915110000002.jpg', 1, 1, 1),
 (3, '+4915110000003', 'Jörg Weiß', 'Jörg Weiß', 'Jörg', NULL, 1, 1, 0);
INSERT INTO conversations (_id, conversation_type, group_id, recipient_number, name, date, participant_id_1, participant_id_2, participant_id_3) VALUES
 (1, 0, 0, '+4915110000002', NULL, 1700000800000, 2, 0, 0),
 (2, 1, 4711, NULL, 'Climbing', 1700000600000, 2, 3, 0);
INSERT INTO participants (_id, conversation_id, participant_info_id) VALUES
 (1, 1, 1), (2, 1, 2), (3, 2, 1), (4, 2, 2), (5, 2, 3);
-- The picture's thumbnail is gone from the phone, as after the app's cache clean-up.
INSERT INTO messages (_id, address, date, read, opened, status, type, body, token, extra_uri, extra_mime, extra_status, seq, extra_upload_id, extra_download_id, extra_bucket_name, extra_duration, thumbnail_x, thumbnail_y, description, count, group_id, conversation_id, conversation_type, participant_id, date_real) VALUES
 (1, '+4915110000002', 1700000000000, 1, 1, 2, 0, 'Hi, are we still on for Saturday?', 5000000001, NULL, 'text', 3, 1, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 1, 0, 1, 0, 2, 1700000000000),
 (2, '+4915110000002', 1700000100000, 1, 1, 2, 1, 'Yes! 10 o''clock at the gym 😀', 5000000002, NULL, 'text', 4, 2, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 1, 0, 1, 0, 1, 1700000100000),
 (3, '+4915110000002', 1700000200000, 1, 1, 2, 0, '/storage/emulated/0/viber/media/.thumbnails/IMG-20231114-WA0001.jpg', 5000000003, 'file:///storage/emulated/0/viber/media/Viber%20Images/IMG-20231114-WA0001.jpg', 'image', 3, 3, NULL, 'IMG-dl-5000000003', 'Share2023-11-14', 0, 640, 480, 'The new wall', 1, 0, 1, 0, 2, 1700000200000),
 (4, '+4915110000002', 1700000300000, 1, 1, 2, 1, 'outgoing_call', 5000000004, NULL, 'call', 3, 4, NULL, NULL, NULL, 95, NULL, NULL, NULL, 1, 0, 1, 0, 1, 1700000300000),
 (5, '+4915110000003', 1700000500000, 1, 1, 2, 0, 'Grüße aus der Halle!', 5000000005, NULL, 'text', 3, 5, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 1, 4711, 2, 1, 5, 1700000500000),
 (6, '+4915110000002', 1700000600000, 0, 0, 2, 0, 'See you there', 5000000006, NULL, 'text', 3, 6, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 1, 4711, 2, 1, 4, 1700000600000),
 (7, '+4915110000002', 1700000700000, 1, 1, 2, 0, NULL, 5000000007, '6d1f0c2a9b3e4f57', 'sound', 3, 7, NULL, '6d1f0c2a9b3e4f57', NULL, 4200, NULL, NULL, NULL, 1, 0, 1, 0, 2, 1700000700000),
 (8, '+4915110000002', 1700000800000, 1, 1, 4, 1, '/storage/emulated/0/viber/media/.thumbnails/VID-20231115-WA0002.jpg', 5000000008, 'file:///storage/emulated/0/viber/media/Viber%20Videos/VID-20231115-WA0002.mp4', 'video', 3, 8, 7700000008, NULL, 'Share2023-11-15', 0, 320, 240, 'Route 7b', 1, 0, 1, 0, 1, 1700000800000);
INSERT INTO messages_calls (_id, conversation_id, message_id, canonized_number, viber_call_type, date, duration, type, end_reason, start_reason, token) VALUES
 (1, 1, 4, '4915110000002', 1, 1700000300000, 95, 2, 3, 0, 5000000004);
INSERT INTO kvdata (category, key, value) VALUES ('settings', 'last_sync', '1700000000');
