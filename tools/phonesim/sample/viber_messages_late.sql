-- The rows the app wrote last. A sample phone in WAL mode holds them only in
-- viber_messages-wal, as a phone does until the app checkpoints.
INSERT INTO stickers_packages (package_id, name) VALUES (401, 'Boulder Buddies');
INSERT INTO stickers (sticker_id, package_id, uri) VALUES (40133, 401, 'file:///storage/emulated/0/viber/.stickers/40133.png');
INSERT INTO messages (_id, address, date, read, opened, status, type, body, token, location_lat, location_lng, extra_uri, extra_mime, extra_status, seq, extra_upload_id, extra_download_id, extra_bucket_name, extra_duration, count, group_id, conversation_id, conversation_type, participant_id, date_real) VALUES
 (9, '+4915110000003', 1700000900000, 1, 1, 2, 0, 'https://maps.googleapis.com/maps/api/staticmap?zoom=16&size=600x389&center=52.520008,13.404954', 5000000009, 52520008, 13404954, NULL, 'location', 3, 9, NULL, NULL, 'Alexanderplatz, Berlin', NULL, 1, 4711, 2, 1, 5, 1700000900000),
 (10, '', 1700001000000, 1, 1, 4, 1, NULL, 5000000010, 0, 0, NULL, 'sticker', 3, 10, 40133, NULL, NULL, NULL, 1, 4711, 2, 1, 3, 1700001000000);
UPDATE conversations SET date = 1700001000000, last_message_id = 10 WHERE _id = 2;
