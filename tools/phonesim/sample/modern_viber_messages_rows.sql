-- The history of the modern sample phone (rows for modern_viber_messages_schema.sql): the
-- owner, Jonas and Mia; a one-to-one chat with Jonas and the group "Harz hike". Dates
-- are Unix milliseconds; a token's upper bits are its send time ((token >> 22) +
-- 292057776050 is within a second of msg_date). order_key counts in steps of 1000 per
-- chat with gaps, as after deleted rows, and is never the date. The newest rows are in
-- modern_viber_messages_late.sql.
UPDATE android_metadata SET locale = 'de_DE';
INSERT INTO participants_info (_id, number, display_name, contact_name, contact_id, viber_name, participant_type, has_contact_name, member_id, encrypted_member_id) VALUES
 (1, '+4917612345670', NULL, NULL, 0, 'Lena', 0, 0, 'Qk7pZs1YwGx0+Lm3uT9aRw==', 'ENC-Qk7pZs1Y'),
 (2, '+4915223456781', 'Jonas Becker', 'Jonas Becker', 412, 'Jonas', 1, 1, 'Vt2cHq8NbXe5+Pr0sK4dJw==', 'ENC-Vt2cHq8N'),
 (3, '+4916098765432', 'Mia S.', NULL, 0, 'Mia S.', 1, 0, 'Rf9wLk3MzTa6+Yd1pQ2eNg==', 'ENC-Rf9wLk3M');
-- Each insert adds the conversation's conversation_auxiliary row (trigger).
INSERT INTO conversations (_id, conversation_type, group_id, name, date, participant_id_1, participant_id_2, creator_participant_id) VALUES
 (1, 0, 0, NULL, 1715762415000, 2, 0, 0),
 (2, 1, 5894301276543210871, 'Harz hike', 1715766077950, 2, 3, 3);
INSERT INTO participants (_id, conversation_id, participant_info_id, active, group_role) VALUES
 (1, 1, 1, 1, 1), (2, 1, 2, 1, 1),
 (3, 2, 1, 1, 2), (4, 2, 2, 1, 1), (5, 2, 3, 1, 1);
-- 6 is deleted on the phone (kept, not shown); 7 is the helper row of Jonas's reaction
-- to 2, never a message.
INSERT INTO messages (_id, conversation_id, order_key, msg_date, token, conversation_type, participant_id, unread, group_id, extra_flags, deleted, send_type, extra_mime, user_id, seq, status, body, msg_info, extra_uri, extra_download_id, extra_duration, likes_count) VALUES
 (1, 1, 1000, 1715761805120, 5971447502951632646, 0, 2, 0, 0, 0, 0, 0, 0, '+4915223456781', 3201, 0, 'Hi Lena, are we still on for Saturday?', '{}', NULL, NULL, NULL, 0),
 (2, 1, 2000, 1715761862480, 5971447744144223807, 0, 1, 0, 0, 0, 0, 1, 0, '+4917612345670', 1801, 3, 'Yes! 9:00 at the station 🚉', '{}', NULL, NULL, NULL, 1),
 (3, 1, 4000, 1715762010350, 5971448361588100212, 0, 2, 0, 0, 0, 0, 0, 1, '+4915223456781', 3202, 0, '', '{"fileInfo":{"FileSize":0,"ContentType":"image","mediaInfo":{"Width":640,"Height":480}}}',
  'file:///storage/emulated/0/Android/data/com.viber.voip/files/.image/IMG-8e18664029d8fc9d55d86e956fc366a4-V.jpg',
  '0-02-05-a835bffd420eb6a1346cf5e2ee8984aa072301f057dc96bbedbdda336ff07bfb', NULL, 0),
 (4, 1, 5000, 1715762231900, 5971449293352430722, 0, 1, 0, 0, 0, 0, 1, 1009, '+4917612345670', 1802, 3, NULL, '{"audio_ptt":{"duration":5300}}',
  'file:///storage/emulated/0/Android/data/com.viber.voip/files/.ptt/b8025a1d89f7ea0db97da306d1459da1.ptt',
  '0-02-05-8a7d779fbe1e8327c216fedb4d6500e797e8dd5747f97506fea1f6c6fb88b31b', 5300, 0),
 (5, 1, 7000, 1715762415000, 5971450062551350074, 0, 1, 0, 0, 0, 0, 1, 1002, '+4917612345670', 1803, 3, 'outgoing_call', '{}', NULL, NULL, 95, 0),
 (6, 1, 8000, 1715762502770, 5971450426645217361, 0, 2, 0, 0, 0, 1, 0, 0, '+4915223456781', 3203, 0, 'Oops, wrong chat', '{}', NULL, NULL, NULL, 0),
 (7, 1, 9000, 1715762640210, 5971451006518920874, 0, 2, 0, 0, 4194304, 0, 0, 1007, '+4915223456781', 3204, 0, '', '{}', NULL, NULL, NULL, 0),
 (8, 2, 1000, 1715766002130, 5971465104307179019, 1, 5, 0, 5894301276543210871, 0, 0, 0, 0, '+4916098765432', 5101, 0, 'Who brings the map?', '{}', NULL, NULL, NULL, 0),
 (9, 2, 2000, 1715766077950, 5971465422497011365, 1, 4, 0, 5894301276543210871, 0, 0, 0, 0, '+4915223456781', 3205, 0, 'I do 🗺️', '{}', NULL, NULL, NULL, 0);
INSERT INTO messages_calls (_id, conversation_id, message_id, canonized_number, viber_call_type, date, duration, type, end_reason, start_reason, token) VALUES
 (1, 1, 5, '4915223456781', 1, 1715762415000, 95, 2, 0, 0, 5971450062551350074);
INSERT INTO messages_likes (_id, message_token, like_token, seq, participant_number, date, read, sync_read, status) VALUES
 (1, 5971447744144223807, 5971451006518920874, 3204, '+4915223456781', 1715762640210, 1, 1, 0);
