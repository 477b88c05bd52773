-- The messages file of today's Android app (version 10 and later), declared as the app
-- writes it. Tables the reader never touches are kept so the file looks like a real one.
-- The reader's fixtures and the simulator's modern sample phone are both built from it.
CREATE TABLE android_metadata (locale TEXT);
INSERT INTO android_metadata VALUES ('uk_UA');
CREATE TABLE conversations (_id INTEGER PRIMARY KEY autoincrement, conversation_type INTEGER DEFAULT 0, group_id INTEGER DEFAULT 0,
  application_id INTEGER DEFAULT 0, share_location INTEGER DEFAULT 0, message_draft TEXT, msg_draft_spans TEXT DEFAULT '',
  deleted INTEGER DEFAULT 0, delete_token INTEGER DEFAULT 0, name TEXT, group_role INTEGER DEFAULT 1, icon_id TEXT,
  background_landscape TEXT, background_portrait TEXT, background_text_color INTEGER, smart_notification INTEGER,
  smart_event_date INTEGER DEFAULT 0, mute_notification INTEGER, favourite_conversation INTEGER DEFAULT 0, flags INTEGER DEFAULT 0,
  date INTEGER DEFAULT 0, bot_reply TEXT DEFAULT '', timebomb_time INTEGER DEFAULT 60, read_notification_token INTEGER DEFAULT 0,
  participant_id_1 INTEGER DEFAULT 0, participant_id_2 INTEGER DEFAULT 0, participant_id_3 INTEGER DEFAULT 0,
  participant_id_4 INTEGER DEFAULT 0, creator_participant_id INTEGER DEFAULT 0, reply_banner_draft TEXT,
  business_inbox_flags INTEGER DEFAULT 0, to_number TEXT DEFAULT NULL, grouping_key TEXT DEFAULT NULL,
  snoozed_conversation_time INTEGER DEFAULT 0);
CREATE TABLE participants (_id INTEGER PRIMARY KEY autoincrement, conversation_id INTEGER DEFAULT 0,
  participant_info_id INTEGER DEFAULT 0, last_message_id INTEGER DEFAULT 0, active INTEGER DEFAULT TRUE,
  group_role INTEGER DEFAULT 1, group_role_local INTEGER DEFAULT 1);
CREATE TABLE participants_info (_id INTEGER PRIMARY KEY autoincrement, number TEXT, encrypted_number TEXT, display_name TEXT,
  contact_name TEXT, contact_id INTEGER DEFAULT 0, viber_id TEXT, viber_name TEXT, viber_image TEXT,
  participant_type INTEGER DEFAULT 1, has_contact_name INTEGER DEFAULT 0, native_photo_id INTEGER DEFAULT 0,
  has_photo INTEGER DEFAULT 0, member_id TEXT, encrypted_member_id TEXT, participant_info_flags INTEGER DEFAULT 0,
  up_date INTEGER DEFAULT 0);
CREATE TABLE messages (_id INTEGER PRIMARY KEY autoincrement, conversation_id INTEGER DEFAULT 0, order_key INTEGER,
  msg_date INTEGER NOT NULL, token INTEGER, conversation_type INTEGER DEFAULT 0, participant_id INTEGER DEFAULT 0,
  unread INTEGER DEFAULT 0, flag INTEGER DEFAULT 0, group_id INTEGER DEFAULT 0, extra_flags INTEGER DEFAULT 0,
  deleted INTEGER DEFAULT 0, send_type INTEGER NOT NULL, extra_mime INTEGER, user_id TEXT NOT NULL, seq INTEGER,
  status INTEGER DEFAULT 0, opened INTEGER DEFAULT 0, sync_read INTEGER DEFAULT 0, location_lat INTEGER, location_lng INTEGER,
  extra_uri TEXT, extra_status INTEGER, message_global_id INTEGER, extra_upload_id INTEGER, extra_download_id TEXT,
  extra_bucket_name TEXT, extra_duration INTEGER, body TEXT, description TEXT, msg_info TEXT, event_count INTEGER DEFAULT 1,
  likes_count INTEGER DEFAULT 0, spans TEXT, encryption_params TEXT, timebomb INTEGER DEFAULT 0,
  read_message_time INTEGER DEFAULT 0, scroll_pos INTEGER DEFAULT 0, broadcast_msg_id INTEGER DEFAULT 0,
  quoted_message_data TEXT);
CREATE TABLE messages_calls (_id INTEGER PRIMARY KEY AUTOINCREMENT, conversation_id INTEGER NOT NULL, message_id INTEGER NOT NULL,
  canonized_number TEXT NOT NULL, viber_call_type INTEGER DEFAULT 1, date INTEGER NOT NULL, duration INTEGER NOT NULL,
  type INTEGER NOT NULL, end_reason INTEGER DEFAULT 0, start_reason INTEGER DEFAULT 0, token INTEGER DEFAULT 0);
CREATE TABLE messages_likes (_id INTEGER PRIMARY KEY AUTOINCREMENT, message_token INTEGER NOT NULL, like_token INTEGER DEFAULT 0,
  seq INTEGER DEFAULT 0, participant_number TEXT NOT NULL, date INTEGER DEFAULT 0, read INTEGER DEFAULT 0,
  sync_read INTEGER DEFAULT 0, status INTEGER DEFAULT 0);
CREATE TABLE public_accounts (_id INTEGER PRIMARY KEY autoincrement, group_id INTEGER DEFAULT 0, group_uri TEXT,
  name TEXT, watchers_count INTEGER DEFAULT 0);
CREATE TABLE stickers (_id INTEGER PRIMARY KEY, package_id INTEGER DEFAULT 0, flags INTEGER DEFAULT 0);
CREATE TABLE stickers_packages (_id INTEGER PRIMARY KEY, name TEXT);
CREATE TABLE conference_calls (_id INTEGER PRIMARY KEY autoincrement, conversation_id INTEGER, call_token INTEGER,
  conference_info TEXT NOT NULL, start_time_millis INTEGER);
CREATE TABLE conversation_auxiliary (_id INTEGER PRIMARY KEY, media_size INTEGER DEFAULT 0);
CREATE TABLE group_delete_all_from_participant (_id INTEGER PRIMARY KEY autoincrement, group_id INTEGER, participant_encrypted_number TEXT);
CREATE TRIGGER delete_message_likes AFTER DELETE ON messages BEGIN
  DELETE FROM messages_likes WHERE message_token = OLD.token; END;
CREATE TRIGGER delete_message_calls AFTER DELETE ON messages BEGIN
  DELETE FROM messages_calls WHERE message_id = OLD._id; END;
CREATE TRIGGER insert_conversation_auxiliary AFTER INSERT ON conversations BEGIN
  INSERT INTO conversation_auxiliary (_id) VALUES (NEW._id); END;
CREATE TRIGGER delete_conversation_auxiliary AFTER DELETE ON conversations BEGIN
  DELETE FROM conversation_auxiliary WHERE _id = OLD._id;
  DELETE FROM public_accounts WHERE group_id = OLD.group_id;
  DELETE FROM group_delete_all_from_participant WHERE group_id = OLD.group_id; END;
CREATE INDEX messages_conversation_order ON messages (conversation_id, order_key DESC, msg_date DESC);
