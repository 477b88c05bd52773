-- A second phone, run over the rows of viber_messages_rows.sql (it removes them first).
-- Its owner shares Anna's one-to-one chat, the "Family" group and Ben's number with the
-- first phone, knows Dora and Emil whom the first phone does not, repeats one of the
-- first phone's messages (same token, 30 s later), and has every kind the merge writes.
-- Dates are Unix milliseconds.
DELETE FROM messages;
DELETE FROM messages_calls;
DELETE FROM participants;
DELETE FROM participants_info;
DELETE FROM conversations;
DELETE FROM group_conversations_extras;
DELETE FROM sqlite_sequence;
UPDATE android_metadata SET locale = 'de_DE';
INSERT INTO participants_info (_id, number, display_name, contact_name, contact_id, viber_name, viber_image, participant_type) VALUES
(1, '+491705555555', 'Mara', NULL, 0, 'Mara', NULL, 0),
(2, '+491702222222', 'Anna B.', 'Anna B.', 3, 'Anna', NULL, 1),
(3, '+491706666666', 'Dora Feld', 'Dora Feld', 4, 'Dora', NULL, 1),
(4, '+49 170 3333333', 'Ben', 'Ben', 5, 'Ben', NULL, 1),
(5, '+491707777777', 'Émile', 'Émile', 6, 'Emil', NULL, 1);
INSERT INTO conversations (_id, conversation_type, group_id, recipient_number, name, deleted, smart_notification, mute_notification, date) VALUES
(1, 0, 0, '+491702222222', '', 0, 0, 0, 1500000005000),
(2, 1, 5555123456789, NULL, 'Familie', 0, 1, 0, 1500000007000),
(3, 0, 0, '+491706666666', '', 0, 0, 0, 1500000014000),
(4, 1, 7777001, NULL, 'Wandern', 0, 1, 0, 1500000017000);
INSERT INTO participants (_id, conversation_id, participant_info_id) VALUES
(1, 1, 1), (2, 1, 2), (3, 2, 1), (4, 2, 2), (5, 2, 4), (6, 3, 1), (7, 3, 3),
(8, 4, 1), (9, 4, 3), (10, 4, 5), (11, 4, 4);
INSERT INTO messages (_id, address, date, read, opened, status, type, body, flag, token, location_lat, location_lng, extra_uri, extra_mime, extra_status, seq, message_global_id, extra_upload_id, extra_download_id, extra_bucket_name, extra_duration, thumbnail_x, thumbnail_y, description, deleted, count, group_id, conversation_id, conversation_type, participant_id, extra_flags, date_real) VALUES
(1, '+491702222222', 1500000001000, 1, 1, 2, 0, 'Neues Handy!', 0, 6000000000000000001, 0, 0, NULL, 'text', 3, 1, 0, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 0, 1, 0, 1, 0, 2, 0, 1500000001500),
(2, '+491702222222', 1500000002000, 1, 1, 4, 1, 'Schön, gratuliere', 0, 6000000000000000002, 0, 0, NULL, 'text', 4, 2, 0, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 0, 1, 0, 1, 0, 1, 0, 1500000002500),
(3, '+491702222222', 1400000031000, 1, 1, 2, 0, 'Hallo, wie geht''s?', 0, 5012345678901234001, 0, 0, NULL, 'text', 3, 3, 0, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 0, 1, 0, 1, 0, 2, 0, 1400000031500),
(4, '+491702222222', 1500000004000, 1, 1, 2, 0, '/storage/emulated/0/viber/media/.thumbnails/9f8e.jpg', 0, 6000000000000000004, 0, 0, 'file:///storage/emulated/0/viber/media/Viber%20Images/IMG-20170714-V0001.jpg', 'image', 3, 4, 0, NULL, 'MF0downloadAnna', 'Share2017-07-14', 51234, 0, 0, 'Sommer', 0, 1, 0, 1, 0, 2, 16, 1500000004500),
(5, '+491702222222', 1500000005000, 1, 1, 2, 1, 'outgoing_call', 0, 6000000000000000005, 0, 0, NULL, 'call', 3, 5, 0, NULL, NULL, 'has_description', 61, NULL, NULL, '', 0, 1, 0, 1, 0, 2, 0, 1500000005000),
(6, '+49 170 3333333', 1500000006000, 1, 1, 2, 0, 'Wer kommt Sonntag?', 0, 6000000000000000006, 0, 0, NULL, 'text', 3, 6, 88, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 0, 1, 5555123456789, 2, 1, 5, 0, 1500000006500),
(7, '+49 170 3333333', 1500000007000, 1, 1, 2, 0, 'add/Ben', 0, 6000000000000000007, 0, 0, NULL, 'notif', 3, 7, 0, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 0, 1, 5555123456789, 2, 1, 5, 0, 1500000007500),
(8, '+491706666666', 1500000008000, 1, 1, 2, 0, 'Hi, hier ist Dora', 0, 6000000000000000008, 0, 0, NULL, 'text', 3, 8, 0, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 0, 1, 0, 3, 0, 7, 0, 1500000008500),
(9, '+491706666666', 1500000009000, 1, 1, 2, 0, NULL, 0, 6000000000000000009, 0, 0, NULL, 'sticker', 3, 9, 0, 40123, 'stk-40123', NULL, NULL, NULL, NULL, NULL, 0, 1, 0, 3, 0, 7, 0, 1500000009500),
(10, '+491706666666', 1500000010000, 1, 1, 2, 0, NULL, 0, 6000000000000000010, 0, 0, '4f3e2d1c0b', 'sound', 3, 10, 0, 777, '4f3e2d1c0b', NULL, 3500, NULL, NULL, NULL, 0, 1, 0, 3, 0, 7, 0, 1500000010500),
(11, '+491706666666', 1500000011000, 1, 1, 4, 1, '/storage/emulated/0/viber/media/.thumbnails/5d6e.jpg', 0, 6000000000000000011, 0, 0, 'file:///storage/emulated/0/viber/media/Viber%20Videos/VID-20170714-V0002.mp4', 'video', 4, 11, 0, -4455667788, NULL, NULL, 1024000, 320, 240, 'Gipfel', 0, 1, 0, 3, 0, 6, 0, 1500000011500),
(12, '+491706666666', 1500000012000, 1, 1, 2, 0, 'https://maps.googleapis.com/maps/api/staticmap?center=52.52,13.405', 0, 6000000000000000012, 52520008, 134049540, NULL, 'location', 3, 12, 0, NULL, NULL, 'Unter den Linden, Berlin', NULL, NULL, NULL, NULL, 0, 1, 0, 3, 0, 7, 0, 1500000012500),
(13, '+491706666666', 1500000013000, 1, 1, 2, 0, 'incoming_call', 0, 6000000000000000013, 0, 0, NULL, 'call', 3, 13, 0, NULL, NULL, 'has_description', 125, NULL, NULL, '', 0, 1, 0, 3, 0, 7, 0, 1500000013000),
(14, '+491706666666', 1500000014000, 1, 1, 2, 0, 'missed_call', 0, 6000000000000000014, 0, 0, NULL, 'call', 3, 14, 0, NULL, NULL, 'has_description', 0, NULL, NULL, '', 0, 1, 0, 3, 0, 7, 0, 1500000014000),
(15, '+491707777777', 1500000015000, 1, 1, 2, 0, 'Treffpunkt Parkplatz', 0, 6000000000000000015, 0, 0, NULL, 'text', 3, 15, 91, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 0, 1, 7777001, 4, 1, 10, 0, 1500000015500),
(16, '+491707777777', 1500000016000, 1, 1, 4, 1, 'Bin dabei', 0, 6000000000000000016, 0, 0, NULL, 'text', 4, 16, 92, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 0, 1, 7777001, 4, 1, 8, 0, 1500000016500),
(17, '+491706666666', 1500000017000, 1, 1, 2, 0, 'Ich auch', 0, 6000000000000000017, 0, 0, NULL, 'text', 3, 17, 93, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 0, 1, 7777001, 4, 1, 9, 0, 1500000017500);
INSERT INTO messages_calls (conversation_id, message_id, canonized_number, viber_call_type, date, duration, type, end_reason, start_reason, token) VALUES
(1, 5, '491702222222', 1, 1500000005000, 61, 2, 3, 0, 6000000000000000005),
(3, 13, '491706666666', 1, 1500000013000, 125, 1, 3, 0, 6000000000000000013),
(3, 14, '491706666666', 1, 1500000014000, 0, 3, 0, 0, 6000000000000000014);
