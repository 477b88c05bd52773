-- A small local database as the program writes it, with a few rows the reader must
-- skip and orphans that opening for writing removes. Dates are seconds since
-- 2001-01-01 UTC (600000000 is 2020-01-06).
INSERT INTO ZPHONENUMBERINDEX (Z_PK, ZCANONIZEDPHONENUM, ZICONID, ZNAME, ZPHONENUM) VALUES
    (1, '4917012345', 'anna01', 'Anna Berg', '+49 170 12345'),
    (2, '4915198765', NULL, 'Ben Kraus', '+49 151 98765'),
    (3, 'ViberService', NULL, 'Viber', 'ViberService'),
    (4, '4930555000', NULL, 'Carla Diaz', '+49 30 555000'),
    (5, '4940111222', NULL, 'Dora Lind', '+49 40 111222');

INSERT INTO ZCONVERSATION (Z_PK, ZDATE, ZGROUPID, ZICONID, ZNAME) VALUES
    (1, 600000300.0, NULL, NULL, NULL),
    (2, 600001000.0, '5123456789', NULL, 'Climbing Club'),
    (3, 600002000.0, NULL, NULL, NULL),
    (4, 600003000.0, NULL, NULL, 'Service'),
    (5, 600003500.0, '5999000111', NULL, 'Duo');

INSERT INTO Z_4PHONENUMINDEXES (Z_4CONVERSATIONS, Z_7PHONENUMINDEXES) VALUES
    (1, 1), (2, 1), (2, 2), (2, 5), (3, 2), (4, 3), (5, 5),
    (9, 2); -- conversation 9 was deleted

INSERT INTO ZVIBERMESSAGE (Z_PK, ZSEQ, ZTOKEN, ZATTACHMENT, ZCONVERSATION, ZLOCATION, ZPHONENUMINDEX, ZDATE,
                           ZSTATEDATE, ZSTATE, ZSYSTEMTYPE, ZTEXT) VALUES
    (1, 1, 1001, NULL, 1, NULL, NULL, 600000000.0, 600000001.0, 'send', NULL, 'Hi Anna (smiley)'),
    (2, 2, 1002, NULL, 1, NULL, 1, 600000060.5, 600000061.0, 'received', NULL, 'Hello!'),
    (3, 3, 1003, 1, 1, NULL, NULL, 600000120.0, 600000121.0, 'delivered', NULL, NULL),
    (4, 4, 1004, 6, 1, 1, 1, 600000180.0, 600000181.0, 'received', 'customLocation', 'Marienplatz'),
    (5, 5, 1005, NULL, 2, NULL, 2, 600000500.0, 0, 'received', 'systemNameChanged', 'Climbing Club'),
    (6, 6, 1006, NULL, 2, NULL, NULL, 600000510.0, 0, 'received', 'SYSTEMMEMBERADDED', 'Dora Lind'),
    (7, 7, 1007, NULL, 2, NULL, NULL, 600000520.0, 0, 'received', 'systemMemberAdded', ''),
    (8, 8, 1008, 2, 2, NULL, 5, 600000600.0, 600000601.0, 'received', NULL, NULL),
    (9, 9, 1009, 3, 3, NULL, 2, 600001000.0, 600001001.0, 'received', NULL, NULL),
    (10, 10, 1010, 4, 3, NULL, NULL, 600001100.0, 600001101.0, 'send', NULL, NULL),
    (11, 11, 1011, NULL, 3, NULL, NULL, 600001200.0, 0, 'bogus', NULL, 'unknown state'),
    (12, 12, 1012, NULL, 3, NULL, NULL, 600001300.0, 0, 'send', 'systemSomethingNew', 'unknown kind'),
    (13, 13, 1013, NULL, 77, NULL, NULL, 600001400.0, 0, 'send', NULL, 'unknown chat'),
    (14, 14, 1014, NULL, 1, NULL, NULL, 600000300.0, 0, 'Pending', NULL, 'not sent yet'),
    (15, 15, 1015, NULL, 4, NULL, 3, 600003000.0, 0, 'received', NULL, 'Welcome to Viber');

INSERT INTO ZVIBERLOCATION (Z_PK, ZMESSAGE, ZVIBE, ZDATE, ZHORIZONTALACCURACY, ZLATITUDE, ZLONGITUDE, ZADDRESS) VALUES
    (1, 4, 0, 600000180.0, 10.0, 48.1, 11.58, 'Marienplatz 1, München'),
    (2, 99, 0, 600000190.0, 10.0, 1.0, 2.0, 'orphan');

INSERT INTO ZATTACHMENT (Z_PK, ZFILESIZE, ZSEQ, ZMESSAGE, ZDURATION, ZID, ZBUCKET, ZNAME, ZTYPE) VALUES
    (1, 20480, 3, 3, 0, 'f1a2b3', 'Share2020-01-06', 'IMG_0001.jpg', 'picture'),
    (2, 9000, 8, 8, 4.5, '2', NULL, '2', 'audio'),
    (3, 0, 9, 9, 0, '12345', NULL, NULL, 'sticker'),
    (4, 512000, 10, 10, 12.0, 'v77', NULL, 'clip.2020.mp4', 'video'),
    (5, 100, 0, 99, 0, NULL, NULL, 'orphan.jpg', 'picture'),
    (6, 0, 4, 4, 0, NULL, NULL, NULL, 'customLocation');

INSERT INTO ZRECENTSLINE (Z_PK, Z_ENT, Z_OPT, ZCOUNT, ZPHONENUMINDEX, ZDATE, ZCALLTYPE) VALUES
    (1, 9, 1, 2, 1, 600005000.0, 'incoming'),
    (2, 9, 1, 2, 4, 600006000.0, 'missed'),
    (3, 9, 1, 1, 2, 600007000.0, 'incoming_with_video'),
    (4, 9, 1, 1, 5, 600008000.0, 'outgoing_viber');

INSERT INTO ZRECENT (Z_PK, Z_ENT, Z_OPT, ZCALLTOKEN, ZDURATION, ZREAD, ZRECENTSLINE, ZDATE, ZCALLTYPE) VALUES
    (1, 8, 1, 5001, 125, 1, 1, 600005000.0, 'incoming'),
    (2, 8, 1, 5002, 30, 1, 2, 600005500.0, 'outgoing_viber'),
    (3, 8, 1, 5003, 0, 1, 2, 600006000.0, 'missed'),
    (4, 8, 1, 5004, 61, 1, 3, 600007000.0, 'incoming_with_video'),
    (5, 8, 1, 5005, 10, 1, 1, 600004000.0, 'conference'),
    (6, 8, 1, 5006, 3, 1, 4, 600008000.0, 'outgoing_viber');
