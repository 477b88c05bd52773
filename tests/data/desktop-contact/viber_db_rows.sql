-- An account (+491701111111) with a one-to-one chat holding every kind, a group, My
-- Notes, a reaction, an edit and a message its sender deleted. Times are Unix ms.
INSERT INTO Contact (ContactID, Name, ABContact, Number, MID, EncryptedMID, ClientName) VALUES
(1, NULL, 0, '+491701111111', 'mid-owner', 'EM-OWNER', 'Ich'),
(2, '⁨Anna Berg⁩', 1, '+491702222222', 'mid-anna', 'EM-ANNA', 'Anna'),
(3, NULL, 0, '+819012345678', 'mid-kenji', 'EM-KENJI', '健二'),
(4, NULL, 0, NULL, 'mid-sara', 'EM-SARA', 'سارة');
INSERT INTO ChatInfo (ChatID, Name, Token, Flags, TimeStamp, PGType) VALUES
(1, NULL, NULL, 0, 1700000020000, NULL),
(2, 'Bergfreunde', '5555123456789', 0, 1700000130000, NULL),
(3, NULL, '6666000011112222', 524288, 1700000230000, NULL);
INSERT INTO ChatRelation (ChatID, ContactID, PGRole) VALUES
(1, 1, 0), (1, 2, 0), (2, 1, 2), (2, 2, 0), (2, 3, 0), (2, 4, 0), (3, 1, 0);
INSERT INTO Events (EventID, TimeStamp, Direction, Type, ContactLongitude, ContactLatitude, ChatID, ContactID, Token, SortOrder) VALUES
(1, 1700000001000, 0, 0, 0, 0, 1, 2, 8130000000000000001, 1),
(2, 1700000002000, 1, 0, 0, 0, 1, 1, 8130000000000000002, 2),
(3, 1700000003000, 0, 0, 0, 0, 1, 2, 8130000000000000003, 3),
(4, 1700000004000, 1, 0, 0, 0, 1, 1, 8130000000000000004, 4),
(5, 1700000005000, 0, 0, 0, 0, 1, 2, 8130000000000000005, 5),
(6, 1700000006000, 0, 0, 0, 0, 1, 2, 8130000000000000006, 6),
(7, 1700000007000, 1, 0, 135236000, 525200000, 1, 1, 8130000000000000007, 7),
(8, 1700000008000, 0, 0, 0, 0, 1, 2, 8130000000000000008, 8),
(9, 1700000009000, 0, 0, 0, 0, 1, 2, 8130000000000000009, 9),
(10, 1700000010000, 0, 0, 0, 0, 1, 2, 8130000000000000010, 10),
(11, 1700000011000, 0, 3, 0, 0, 1, 2, 8130000000000000011, 11),
(12, 1700000012000, 0, 0, 0, 0, 1, 2, 8130000000000000012, 12),
(13, 1700000013000, 0, 0, 0, 0, 1, 2, 8130000000000000013, 13),
(14, 1700000014000, 0, 0, 0, 0, 1, 2, 8130000000000000014, 14),
(15, 1700000015000, 0, 0, 0, 0, 1, 2, 8130000000000000015, 15),
(21, 1700000121000, 0, 0, 0, 0, 2, 2, 8130000000000000021, 1),
(22, 1700000122000, 0, 0, 0, 0, 2, 3, 8130000000000000022, 2),
(23, 1700000123000, 0, 0, 0, 0, 2, 4, 8130000000000000023, 3),
(24, 1700000124000, 1, 0, 0, 0, 2, 1, 8130000000000000024, 4),
(25, 1700000125000, 0, 0, 0, 0, 2, 3, 8130000000000000025, 5),
(31, 1700000231000, 1, 0, 0, 0, 3, 1, 8130000000000000031, 1);
INSERT INTO Messages (EventID, Type, Status, Subject, Body, PayloadPath, ThumbnailPath, StickerID, PttID, Duration, Info, ClientFlag, PGIsLiked, SelfReaction, MembersReactions) VALUES
(1, 1, 2, NULL, 'Hallo Anna! Grüße aus München', NULL, NULL, 0, NULL, 0, '{}', 0, NULL, NULL, '{"1":1}'),
(2, 1, 2, NULL, 'Hallo zurück 👋', NULL, NULL, 0, NULL, 0, '{"desktop_info":{"edit_token":8130000000000000012}}', 0, NULL, NULL, NULL),
(3, 2, 2, 'Am See', '', 'C:\Users\anna\Documents\ViberDownloads\IMG-1.jpg', 'C:\Users\anna\AppData\Roaming\ViberPC\491701111111\Thumbnails\t1.jpg', 0, NULL, 0, '{"fileInfo":{"FileSize":120400}}', 0, NULL, NULL, NULL),
(4, 3, 2, NULL, '', '/home/ich/Documents/ViberDownloads/video-1.mp4', NULL, 0, NULL, 9000, '{}', 0, NULL, NULL, NULL),
(5, 4, 2, NULL, NULL, NULL, NULL, 40123, NULL, 0, '{}', 0, NULL, NULL, NULL),
(6, 6, 2, NULL, NULL, NULL, NULL, 0, 'ptt-0001', 4500, '{}', 0, NULL, NULL, NULL),
(7, 5, 2, NULL, 'Marienplatz', NULL, NULL, 0, NULL, 0, '{"locationInfo":{"address":"Marienplatz 1, München"}}', 0, NULL, NULL, NULL),
(8, 9, 2, NULL, 'https://example.org/b', NULL, NULL, 0, NULL, 0, '{"URL":"https://example.org/b","Title":"B"}', 0, NULL, NULL, NULL),
(9, 10, 2, NULL, '', NULL, NULL, 0, NULL, 0, '{"Name":"Ben Kurz","ViberNumber":"+491703333333"}', 0, NULL, NULL, NULL),
(10, 11, 2, NULL, '', '', NULL, 0, NULL, 0, '{"fileInfo":{"FileName":"Plan.xlsx","FileSize":"7777"}}', 0, NULL, NULL, NULL),
(11, 0, 2, NULL, '8130000000000000001', NULL, NULL, 0, NULL, 0, '{}', 0, 1, '❤', NULL),
(12, 1, 2, NULL, 'Hallo zurück 👋', NULL, NULL, 0, NULL, 0, '{"edit":{"token":8130000000000000002}}', 256, NULL, NULL, NULL),
(13, 72, 2, NULL, '', NULL, NULL, 0, NULL, 0, '', 0, NULL, NULL, NULL),
(14, 11, 2, NULL, '', NULL, NULL, 0, NULL, 0, '{"fileInfo":{"FileName":"fun.gif","mediaInfo":{"MediaType":"GIF"}}}', 0, NULL, NULL, NULL),
(15, 99, 2, NULL, 'neu', NULL, NULL, 0, NULL, 0, '{}', 0, NULL, NULL, NULL),
(21, 1, 2, NULL, 'Wer kommt am Samstag?', NULL, NULL, 0, NULL, 0, '{}', 0, NULL, NULL, NULL),
(22, 1, 2, NULL, '行きます！', NULL, NULL, 0, NULL, 0, '{}', 0, NULL, NULL, NULL),
(23, 1, 2, NULL, 'أنا أيضا', NULL, NULL, 0, NULL, 0, '{}', 0, NULL, NULL, NULL),
(24, 1, 2, NULL, 'Super, bis dann', NULL, NULL, 0, NULL, 0, '{}', 0, NULL, NULL, NULL),
(25, 15, 2, NULL, '', NULL, NULL, 0, NULL, 0, '{"pin":{"action":"pin","text":"Treffpunkt: Hütte"}}', 0, NULL, NULL, NULL),
(31, 1, 2, NULL, 'Notiz: Ersatzteile', NULL, NULL, 0, NULL, 0, '{}', 0, NULL, NULL, NULL);
INSERT INTO LikeRelation (MessageToken, LikeEventID) VALUES (8130000000000000001, 11);
