-- An account with a one-to-one chat, a group whose members appear only in ChatRelation,
-- a contact without chats, every message kind, and calls in both directions.
-- Times are Unix seconds.
INSERT INTO OriginNumberInfo (Number, ClientName, AvatarPath, DownloadID) VALUES
('+491702222222', 'Anna Berg', 'C:\Users\me\AppData\Roaming\ViberPC\491701111111\Avatars\anna.jpg', 'a1'),
('+491703333333', 'Ben Kurz', NULL, 'b2'),
('+491704444444', 'Clara', NULL, NULL),
('+491705555555', 'Dora Ohnechat', NULL, NULL);
INSERT INTO ChatInfo (ChatID, Name, Token, Flags, TimeStamp) VALUES
(1, NULL, '+491702222222', 0, 1400000300),
(2, 'Team', '7777000011112222', 1, 1400000250),
(3, NULL, '+491703333333', 0, 1400000400);
INSERT INTO ChatRelation (ChatID, Number) VALUES (1, '+491702222222'), (2, '+491703333333'), (2, '+491704444444');
INSERT INTO Contact (FirstName, SecondName, ViberContact) VALUES ('Anna', 'Berg', 1), ('Dora', 'Ohnechat', 1);
INSERT INTO PhoneNumber (Number, Canonized) VALUES ('+491702222222', '491702222222'), ('+491705555555', '491705555555');
INSERT INTO Events (EventID, TimeStamp, Direction, Type, ContactLongitude, ContactLatitude, ChatID, Number, Token, IsRead) VALUES
(101, 1400000101, 0, 1, 0, 0, 1, '+491702222222', 6001, 1),
(102, 1400000102, 1, 1, 0, 0, 1, '+491701111111', 6002, 1),
(103, 1400000103, 0, 1, 0, 0, 1, '+491702222222', 6003, 1),
(104, 1400000104, 0, 1, 0, 0, 2, '+491704444444', 6004, 1),
(105, 1400000105, 1, 1, 0, 0, 2, '+491701111111', 0, 1),
(106, 1400000106, 0, 1, 121473701, 31230416, 1, '+491702222222', 6006, 1),
(107, 1400000107, 1, 1, 0, 0, 1, '+491701111111', 6007, 1),
(108, 1400000108, 0, 1, 0, 0, 3, '+491703333333', 6008, 1),
(109, 1400000109, 0, 1, 0, 0, 9, '+491703333333', 6009, 1),
(110, 1400000110, 0, 1, 0, 0, 2, '+491703333333', 6010, 1),
(201, 1400000201, 0, 2, 0, 0, 1, '+491702222222', 7001, 1),
(202, 1400000202, 1, 2, 0, 0, 1, '+491702222222', 7002, 1),
(203, 1400000203, 0, 2, 0, 0, 3, '+491703333333', 7003, 1),
(204, 1400000204, 0, 2, 0, 0, 1, '+491709999999', 7004, 1);
INSERT INTO Messages (EventID, Type, Status, Subject, Body, PayloadPath, ThumbnailPath, StickerID, PttID, PttDuration) VALUES
(101, 64, 2, NULL, 'Hi Anna', NULL, NULL, 0, NULL, 0),
(102, 192, 2, NULL, 'Text und Bild', 'C:\Users\me\Documents\ViberDownloads\both.jpg', NULL, 0, NULL, 0),
(103, 128, 2, 'Urlaub', NULL, 'C:\Users\me\Documents\ViberDownloads\0-6003.jpg', 'C:\Users\me\AppData\Roaming\ViberPC\491701111111\Thumbnails\6003.jpg', 0, NULL, 0),
(104, 65536, 2, NULL, NULL, NULL, NULL, 0, 'ptt-6004.amr', 7300),
(105, 512, 2, NULL, NULL, 'C:\Users\me\Documents\ViberDownloads\clip.mp4', NULL, 0, NULL, 0),
(106, 4096, 2, NULL, NULL, NULL, NULL, 0, NULL, 0),
(107, 2048, 2, NULL, NULL, NULL, NULL, 12345, NULL, 0),
(108, 4, 2, NULL, 'Unbekannte Art', NULL, NULL, 0, NULL, 0),
(109, 64, 2, NULL, 'Chat gibt es nicht', NULL, NULL, 0, NULL, 0),
(110, 65536, 2, NULL, NULL, NULL, NULL, 0, '..\..\..\evil', 1000);
INSERT INTO Calls (EventID, Duration, Type) VALUES (201, 0, 1), (202, 0, 1), (203, 65, 1), (204, 30, 1);
