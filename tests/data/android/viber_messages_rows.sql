-- Rows of a phone with one-to-one and group chats, every message kind, rows the app
-- marked deleted, a message in a conversation that no longer exists, and values that
-- try to climb out of the media folders. Dates are Unix milliseconds.
INSERT INTO participants_info (_id, number, display_name, contact_name, contact_id, viber_name, viber_image, participant_type) VALUES
(1, '+491701111111', 'Ich', NULL, 0, 'Ich', NULL, 0),
(2, '+491702222222', 'Anna Berg', 'Anna Berg', 17, 'Anna', 'content://com.viber.voip.provider.vibercontacts/photo/2', 1),
(3, '+49 170 3333333', 'Ben Kurz', 'Ben Kurz', 18, 'Ben', NULL, 1),
(4, '+491704444444', 'Clara', NULL, 0, 'Clara', NULL, 1),
(5, 'svc/../../../etc/passwd', 'Evil Service', NULL, 0, NULL, NULL, 1);
INSERT INTO conversations (_id, conversation_type, group_id, recipient_number, name, deleted, smart_notification, mute_notification, date, participant_id_1, participant_id_2) VALUES
(1, 0, 0, '+491702222222', '', 0, 0, 0, 1400000025000, 2, 1),
(2, 1, 5555123456789, NULL, 'Family', 0, 1, 0, 1400000022000, 2, 1),
(3, 0, NULL, '+491703333333', NULL, 0, 0, 0, 1400000011000, 3, 1),
(4, 1, 8888, NULL, 'Gelöschte Gruppe', 1, 1, 0, 1400000018000, 3, 1),
(5, 0, 0, '+491704444444', '', 0, 0, 0, 1400000020000, 4, 1),
(6, 0, 0, 'svc', NULL, 0, 0, 0, 1400000025000, 5, 1);
INSERT INTO participants (_id, conversation_id, participant_info_id) VALUES
(1, 1, 1), (2, 1, 2), (3, 2, 1), (4, 2, 2), (5, 2, 3), (6, 2, 4), (7, 3, 1), (8, 3, 3),
(9, 5, 1), (10, 5, 4), (11, 4, 1), (12, 4, 3), (13, 6, 5), (14, 99, 4);
INSERT INTO messages (_id, address, date, read, opened, status, type, body, flag, token, location_lat, location_lng, extra_uri, extra_mime, extra_status, seq, message_global_id, extra_upload_id, extra_download_id, extra_bucket_name, extra_duration, thumbnail_x, thumbnail_y, description, deleted, count, group_id, conversation_id, conversation_type, participant_id, extra_flags, date_real) VALUES
(1, '+491702222222', 1400000001000, 1, 1, 2, 0, 'Hallo 😀, wie geht''s?', 0, 5012345678901234001, 0, 0, NULL, 'text', 3, 11, 0, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 0, 1, 0, 1, 0, 2, 0, 1400000002500),
(2, '+491702222222', 1400000002000, 1, 1, 4, 1, 'Gut, danke!', 0, 5012345678901234002, 0, 0, NULL, 'text', 4, 12, 0, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 0, 1, 0, 1, 0, 1, 0, 1400000003500),
(3, '+491702222222', 1400000003000, 1, 1, 2, 0, '/storage/emulated/0/viber/media/.thumbnails/0b1c2d3e4f.jpg', 0, 0, 0, 0, 'file:///storage/emulated/0/viber/media/Viber%20Images/IMG-20140513-V0001.jpg', 'image', 3, 13, 0, NULL, 'MF0ekB2oVdWpNVhX9dJq4Z', 'Share2014-05-13', 183422, 640, 480, 'Am Strand', 0, 1, 0, 1, 0, 2, 16, 1400000004500),
(4, '+491702222222', 1400000004000, 1, 1, 4, 1, 'https://maps.googleapis.com/maps/api/staticmap?zoom=16&size=600x389&center=31.234567,121.456789', 0, 5012345678901234004, 31234567, 121456789, NULL, 'location', 3, 14, 0, NULL, NULL, 'Nanjing Road, Shanghai', NULL, NULL, NULL, NULL, 0, 1, 0, 1, 0, 1, 0, 1400000005500),
(5, '+491702222222', 1400000005000, 1, 1, 2, 0, 'https://maps.googleapis.com/maps/api/staticmap?center=-3.1,0', 0, 5012345678901234005, -3123456, 45, NULL, 'location', 3, 15, 0, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 0, 1, 0, 1, 0, 2, 0, 1400000006500),
(6, '+491702222222', 1400000006000, 1, 1, 2, 0, NULL, 0, 5012345678901234006, 0, 0, '2c6e4b0f9a1d4e7c', 'sound', 3, 16, 0, NULL, '2c6e4b0f9a1d4e7c', NULL, 4500, NULL, NULL, NULL, 0, 1, 0, 1, 0, 2, 0, 1400000007500),
(7, '+491702222222', 1400000007000, 1, 1, 4, 1, NULL, 0, 5012345678901234007, 0, 0, NULL, 'sticker', 3, 17, 0, 12345, NULL, NULL, NULL, NULL, NULL, NULL, 0, 1, 0, 1, 0, 1, 0, 1400000008500),
(8, '+491702222222', 1400000008000, 1, 1, 2, 0, '/storage/emulated/0/viber/media/.thumbnails/7a8b9c.jpg', 0, 556677, 0, 0, 'file:///storage/emulated/0/viber/media/Viber%20Videos/VID-20140513-V0002.mp4', 'video', 3, 18, 0, NULL, 'vid-download-556677', 'Share2014-05-13', 2048000, 320, 240, '', 0, 1, 0, 1, 0, 2, 0, 1400000009500),
(9, '+491702222222', 1400000009000, 1, 1, 2, 0, 'incoming_call', 0, 5012345678901234009, 0, 0, NULL, 'call', 3, 19, 0, NULL, NULL, 'has_description', 125, NULL, NULL, '', 0, 1, 0, 1, 0, 2, 0, 1400000010500),
(10, '+491703333333', 1400000010000, 1, 1, 2, 0, 'missed_call', 0, 5012345678901234010, 0, 0, NULL, 'call', 3, 20, 0, NULL, NULL, NULL, 0, NULL, NULL, NULL, 0, 1, NULL, 3, 0, 8, 0, 1400000011500),
(11, '+491703333333', 1400000011000, 1, 1, 2, 0, 'dropped_call', 0, 5012345678901234011, 0, 0, NULL, 'call', 3, 21, 0, NULL, NULL, NULL, 3, NULL, NULL, NULL, 0, 1, NULL, 3, 0, 8, 0, 1400000012500),
(12, '+491702222222', 1400000012000, 1, 1, 2, 0, 'group_rename/Alte Bande/Family', 0, 5012345678901234012, 0, 0, NULL, 'notif', 3, 22, 0, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 0, 1, 5555123456789, 2, 1, 4, 0, 1400000013500),
(13, '+491703333333', 1400000013000, 1, 1, 2, 0, 'add/Ben Kurz', 0, 5012345678901234013, 0, 0, NULL, 'notif', 3, 23, 0, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 0, 1, 5555123456789, 2, 1, 5, 0, 1400000014500),
(14, '+491703333333', 1400000014000, 1, 1, 2, 0, 'remove/Ben Kurz', 0, 5012345678901234014, 0, 0, NULL, 'notif', 3, 24, 0, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 0, 1, 5555123456789, 2, 1, 5, 0, 1400000015500),
(15, '+491703333333', 1400000015000, 1, 1, 2, 0, 'Servus zusammen', 0, 5012345678901234015, 0, 0, NULL, 'text', 3, 25, 77, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 0, 1, 5555123456789, 2, 1, 5, 0, 1400000016500),
(16, '+491704444444', 1400000016000, 1, 1, 2, 0, 'Wer bin ich?', 0, 5012345678901234016, 0, 0, NULL, 'text', 3, 26, 0, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 0, 1, 0, 99, 0, 14, 0, 1400000017500),
(17, '+491702222222', 1400000017000, 1, 1, 2, 0, 'Schon gelöscht', 0, 5012345678901234017, 0, 0, NULL, 'text', 3, 27, 0, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 1, 1, 0, 1, 0, 2, 0, 1400000018500),
(18, '+491703333333', 1400000018000, 1, 1, 2, 0, 'In einem gelöschten Chat', 0, 5012345678901234018, 0, 0, NULL, 'text', 3, 28, 0, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 0, 1, 8888, 4, 0, 12, 0, 1400000019500),
(19, '+491702222222', 1400000019000, 1, 1, 2, 0, '{"Text":"formatted"}', 0, 5012345678901234019, 0, 0, NULL, 'formatted_message', 3, 29, 0, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 0, 1, 0, 1, 0, 2, 0, 1400000020500),
(20, '+491704444444', 1400000020000, 1, 1, 2, 0, 'Ohne Absender', 0, 5012345678901234020, 0, 0, NULL, 'text', 3, 30, 0, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 0, 1, 0, 5, 0, 999, 0, 1400000021500),
(21, '', 1400000021000, 1, 1, 4, 1, '/storage/emulated/0/viber/media/.thumbnails/out.jpg', 0, 9988776655, 0, 0, 'file:///storage/emulated/0/viber/media/Viber%20Images/IMG-20140513-V0003.png', 'image', 3, 31, 0, 4455667788, NULL, NULL, 99000, 400, 300, 'Für alle', 0, 1, 5555123456789, 2, 1, 3, 0, 1400000022500),
(22, '+491704444444', 1400000022000, 1, 1, 2, 0, '', 0, 5012345678901234022, 0, 0, NULL, 'notif', 3, 32, 0, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 0, 1, 5555123456789, 2, 1, 6, 0, 1400000023500),
(23, 'x', 1400000023000, 1, 1, 2, 0, NULL, 0, 5012345678901234023, 0, 0, '../../../.ssh/authorized_keys', 'sound', 3, 33, 0, NULL, NULL, NULL, 1000, NULL, NULL, NULL, 0, 1, 0, 6, 0, 13, 0, 1400000024500),
(24, 'x', 1400000024000, 1, 1, 2, 0, NULL, 0, 5012345678901234024, 0, 0, '..', 'sound', 3, 34, 0, NULL, NULL, NULL, 1000, NULL, NULL, NULL, 0, 1, 0, 6, 0, 13, 0, 1400000025500),
(25, 'x', 1400000025000, 1, 1, 2, 0, '/x', 0, 5012345678901234025, 0, 0, 'file:///sdcard/evil.jpg\..\..\x', 'image', 3, 35, 0, NULL, '../../up', NULL, 10, NULL, NULL, NULL, 0, 1, 0, 6, 0, 13, 0, 1400000026500);
INSERT INTO messages_calls (conversation_id, message_id, canonized_number, viber_call_type, date, duration, type, end_reason, start_reason, token) VALUES
(1, 9, '491702222222', 1, 1400000009000, 125, 1, 3, 0, 5012345678901234009),
(3, 10, '491703333333', 1, 1400000010000, 0, 3, 0, 0, 5012345678901234010);
INSERT INTO kvdata (category, key, value) VALUES ('settings', 'last_sync', '1400000000');
INSERT INTO stickers (sticker_id, package_id, uri) VALUES (12345, 123, 'file:///storage/emulated/0/viber/.stickers/12345.png');
INSERT INTO stickers_packages (package_id, name) VALUES (123, 'Violet');
INSERT INTO group_conversations_extras (conversation_id, group_id) VALUES (2, 5555123456789);
