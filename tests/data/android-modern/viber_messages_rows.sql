-- A phone of today's app: a one-to-one chat holding every message kind, a group in
-- which one member writes from two cards, a community, a broadcast list, My Notes, a
-- chat the user deleted, and the rows that are not messages (reaction helpers, an
-- edit's history row, a message marked deleted). Dates are Unix milliseconds.
INSERT INTO participants_info (_id, number, encrypted_number, display_name, contact_name, viber_name, viber_image, participant_type, member_id, encrypted_member_id) VALUES
(1, '+380501112233', NULL, 'Я', NULL, 'Тарас', NULL, 0, 'owner-member', 'EM-OWNER'),
(2, '+380671234567', NULL, 'Olena', 'Олена Коваль', 'Olena K', 'content://com.viber.voip.provider/photo/2', 1, 'm-olena', 'EM-OLENA'),
(3, 'ZW5jcnlwdGVkLW9sZW5h', 'ZW5jcnlwdGVkLW9sZW5h', 'Olena K', NULL, 'Olena K', NULL, 2, 'ZW5jcnlwdGVkLW9sZW5h', 'EM-OLENA'),
(4, '+81901234567', NULL, '健二', NULL, 'Kenji', NULL, 1, 'm-kenji', 'EM-KENJI'),
(5, '', 'c2FyYQ', NULL, NULL, 'سارة', NULL, 2, 'em:c2FyYQ', 'EM-SARA'),
(6, '+4915112345678', NULL, 'Max', 'Max Müller', 'Maxi', NULL, 1, 'm-max', 'EM-MAX');
INSERT INTO conversations (_id, conversation_type, group_id, name, deleted, flags, date, participant_id_1, participant_id_2) VALUES
(1, 0, 0, NULL, 0, 0, 1700000020000, 2, 0),
(2, 1, 7001, 'Родина', 0, 0, 1700000128000, 2, 4),
(3, 5, 9001, NULL, 0, 0, 1700000230000, 4, 5),
(4, 4, 0, 'Newsletter', 0, 0, 1700000231000, 2, 6),
(5, 6, 0, NULL, 0, 0, 1700000332000, 0, 0),
(6, 0, 0, NULL, 1, 0, 1700000334000, 6, 0),
(7, 0, 0, NULL, 0, 0, 1700000436000, 4, 0);
INSERT INTO public_accounts (group_id, group_uri, name, watchers_count) VALUES (9001, 'tokyorunners', 'Tokyo Runners', 3120);
INSERT INTO participants (_id, conversation_id, participant_info_id, active) VALUES
(1, 1, 1, 1), (2, 1, 2, 1),
(3, 2, 1, 0), (4, 2, 2, 1), (5, 2, 3, 1), (6, 2, 4, 1), (7, 2, 5, 1),
(8, 3, 1, 1), (9, 3, 4, 1), (10, 3, 5, 1),
(11, 4, 1, 1), (12, 4, 2, 1), (13, 4, 6, 1),
(14, 5, 1, 1),
(15, 6, 1, 1), (16, 6, 6, 1),
(17, 7, 1, 1), (18, 7, 4, 1);
INSERT INTO messages (_id, conversation_id, order_key, msg_date, token, conversation_type, participant_id, send_type, extra_mime, user_id, deleted, body, description, msg_info, extra_uri, extra_upload_id, extra_download_id, extra_duration, location_lat, location_lng, likes_count, group_id, seq, status, extra_flags) VALUES
(1, 1, 1, 1700000001000, 7130000000000000001, 0, 2, 0, 0, '+380671234567', 0, 'Привіт! Як справи?', NULL, '{}', NULL, NULL, NULL, NULL, NULL, NULL, 1, 0, 101, 0, 0),
(2, 1, 3, 1700000003000, 7130000000000000002, 0, 1, 1, 0, '+380501112233', 0, 'Добре, дякую 😊', NULL, '{}', NULL, NULL, NULL, NULL, NULL, NULL, 0, 0, 102, 3, 0),
(3, 1, 4, 1700000004000, 7130000000000000003, 0, 2, 0, 1, '+380671234567', 0, '', 'На пляжі', '{"fileInfo":{"FileSize":183422,"ContentType":"image","mediaInfo":{"Width":1280,"Height":960}}}', 'file:///storage/emulated/0/Android/data/com.viber.voip/files/.image/IMG-0123456789abcdef0123456789abcdef-V.jpg', NULL, '0-02-05-0123', NULL, NULL, NULL, 0, 0, 103, 0, 0),
(4, 1, 5, 1700000005000, 7130000000000000004, 0, 1, 1, 3, '+380501112233', 0, '', NULL, '{"fileInfo":{"FileSize":"2048000","Duration":12000}}', 'file:///storage/emulated/0/Android/data/com.viber.voip/files/.video/video-fedcba9876543210fedcba9876543210-V.mp4', NULL, '0-02-05-4567', 12000, NULL, NULL, 0, 0, 104, 3, 0),
(5, 1, 6, 1700000006000, 7130000000000000005, 0, 2, 0, 4, '+380671234567', 0, NULL, NULL, '{}', NULL, 40123, NULL, NULL, NULL, NULL, 0, 0, 105, 0, 0),
(6, 1, 7, 1700000007000, 7130000000000000006, 0, 2, 0, 1009, '+380671234567', 0, NULL, NULL, '{"audio_ptt":{"duration":4500}}', 'file:///storage/emulated/0/Android/data/com.viber.voip/files/.ptt/11112222333344445555666677778888.ptt', NULL, '0-02-05-89ab', 4500, NULL, NULL, 0, 0, 106, 0, 0),
(7, 1, 8, 1700000008000, 7130000000000000007, 0, 1, 1, 5, '+380501112233', 0, 'Хрещатик, Київ', NULL, '{}', NULL, NULL, NULL, NULL, 50450123, 30523456, 0, 0, 107, 3, 0),
(8, 1, 9, 1700000009000, 7130000000000000008, 0, 2, 0, 10, '+380671234567', 0, NULL, NULL, '{"fileInfo":{"FileName":"Звіт 2024.pdf","FileExt":"pdf","FileSize":52311,"ContentType":"application/pdf"}}', 'file:///storage/emulated/0/Android/data/com.viber.voip/files/.import/report-2024.pdf', NULL, '0-02-05-cdef', NULL, NULL, NULL, 0, 0, 108, 0, 0),
(9, 1, 10, 1700000010000, 7130000000000000009, 0, 2, 0, 1005, '+380671234567', 0, NULL, NULL, '{"fileInfo":{"FileSize":90210,"mediaInfo":{"MediaType":"GIF","Width":320,"Height":240}}}', 'file:///storage/emulated/0/Android/data/com.viber.voip/files/.gif/aaaabbbbccccddddeeeeffff00001111.gif', NULL, '0-02-05-0f0f', NULL, NULL, NULL, 0, 0, 109, 0, 0),
(10, 1, 11, 1700000011000, 7130000000000000010, 0, 2, 0, 8, '+380671234567', 0, 'Дивись https://example.org/article', NULL, '{"Text":"Дивись https://example.org/article","Title":"Стаття","URL":"https://example.org/article"}', NULL, NULL, NULL, NULL, NULL, NULL, 0, 0, 110, 0, 0),
(11, 1, 12, 1700000012000, 7130000000000000011, 0, 2, 0, 9, '+380671234567', 0, '', NULL, '{"Name":"Max Müller","PhoneNumber":"+4915112345678"}', NULL, NULL, NULL, NULL, NULL, NULL, 0, 0, 111, 0, 0),
(12, 1, 13, 1700000013000, 7130000000000000012, 0, 1, 1, 1010, '+380501112233', 0, NULL, NULL, '{}', 'file:///storage/emulated/0/Android/data/com.viber.voip/files/.vptt/99998888777766665555444433332222.vptt', NULL, '0-02-05-1234', 8000, NULL, NULL, 0, 0, 112, 3, 0),
(13, 1, 14, 1700000014000, 7130000000000000013, 0, 2, 0, 1002, '+380671234567', 0, 'incoming_call', NULL, '{}', NULL, NULL, NULL, 125, NULL, NULL, 0, 0, 113, 0, 0),
(14, 1, 15, 1700000015000, 7130000000000000014, 0, 2, 0, 1007, '+380671234567', 0, '', NULL, '{}', NULL, NULL, NULL, NULL, NULL, NULL, 0, 0, 114, 0, 4194304),
(15, 1, 16, 1700000016000, 7130000000000000015, 0, 2, 0, 1008, '+380671234567', 0, '', NULL, '{}', NULL, NULL, NULL, NULL, NULL, NULL, 0, 0, 115, 0, 0),
(16, 1, 17, 1700000017000, 7130000000000000016, 0, 2, 0, 1011, '+380671234567', 0, 'щось нове', NULL, '{}', NULL, NULL, NULL, NULL, NULL, NULL, 0, 0, 116, 0, 0),
(17, 1, 18, 1700000018000, 7130000000000000017, 0, 2, 0, 0, '+380671234567', 1, 'Видалено на телефоні', NULL, '{}', NULL, NULL, NULL, NULL, NULL, NULL, 0, 0, 117, 0, 0),
(18, 1, 19, 1700000019000, 7130000000000000018, 0, 2, 0, 0, '+380671234567', 0, 'Привіт! Як справи??', NULL, '{"edit":{"token":7130000000000000001}}', NULL, NULL, NULL, NULL, NULL, NULL, 0, 0, 118, 0, 4194304),
(19, 1, 20, 1700000020000, 7130000000000000019, 0, 2, 0, 7, '+380671234567', 0, '[{"Type":"text","Text":"Вітаємо у нашому магазині"},{"Type":"button","Text":"Каталог"}]', NULL, '{}', NULL, NULL, NULL, NULL, NULL, NULL, 0, 0, 119, 0, 0),
(20, 1, 2, 1700000002000, 7130000000000000020, 0, 1, 1, 0, '+380501112233', 0, 'Відновлене з резервної копії', NULL, '', NULL, NULL, NULL, NULL, NULL, NULL, 0, 0, 120, 3, 0),
(21, 2, 1, 1700000121000, 7130000000000000021, 1, 4, 0, 0, '+380671234567', 0, 'Всім привіт', NULL, '{}', NULL, NULL, NULL, NULL, NULL, NULL, 0, 7001, 121, 0, 0),
(22, 2, 2, 1700000122000, 7130000000000000022, 1, 5, 0, 0, 'ZW5jcnlwdGVkLW9sZW5h', 0, 'Це я з іншого пристрою', NULL, '{}', NULL, NULL, NULL, NULL, NULL, NULL, 0, 7001, 122, 0, 0),
(23, 2, 3, 1700000123000, 7130000000000000023, 1, 6, 0, 0, '+81901234567', 0, 'こんにちは、皆さん', NULL, '{}', NULL, NULL, NULL, NULL, NULL, NULL, 0, 7001, 123, 0, 0),
(24, 2, 4, 1700000124000, 7130000000000000024, 1, 7, 0, 0, 'em:c2FyYQ', 0, 'مرحبا بالجميع', NULL, '{}', NULL, NULL, NULL, NULL, NULL, NULL, 0, 7001, 124, 0, 0),
(25, 2, 5, 1700000125000, 7130000000000000025, 1, 3, 1, 0, '+380501112233', 0, 'Hello family', NULL, '{}', NULL, NULL, NULL, NULL, NULL, NULL, 0, 7001, 125, 3, 0),
(26, 2, 6, 1700000126000, 7130000000000000026, 1, 4, 0, 1000, '+380671234567', 0, 'group_icon_changed_with_icon/7001/icon-abc', NULL, '{}', NULL, NULL, NULL, NULL, NULL, NULL, 0, 7001, 126, 0, 0),
(27, 2, 7, 1700000127000, 7130000000000000027, 1, 6, 0, 1007, '+81901234567', 0, '', NULL, '{}', NULL, NULL, NULL, NULL, NULL, NULL, 0, 7001, 127, 0, 4194304),
(28, 2, 8, 1700000128000, 7130000000000000028, 1, 6, 0, 1, '+81901234567', 0, '', '', '{"fileInfo":{"FileSize":4000}}', NULL, NULL, '0-02-05-abababababababababababababababababababababababababababababababab', NULL, NULL, NULL, 0, 7001, 128, 0, 0),
(29, 3, 1, 1700000229000, 7130000000000000029, 5, 9, 0, 0, '+81901234567', 0, 'Run at 7am 🏃', NULL, '{}', NULL, NULL, NULL, NULL, NULL, NULL, 0, 9001, 129, 0, 0),
(30, 3, 2, 1700000230000, 7130000000000000030, 5, 10, 0, 0, 'em:c2FyYQ', 0, 'سأكون هناك', NULL, '{}', NULL, NULL, NULL, NULL, NULL, NULL, 0, 9001, 130, 0, 0),
(31, 4, 1, 1700000231000, 7130000000000000031, 4, 11, 1, 0, '+380501112233', 0, 'Weekly news: ελληνικά νέα', NULL, '{}', NULL, NULL, NULL, NULL, NULL, NULL, 0, 0, 131, 3, 0),
(32, 5, 1, 1700000332000, 7130000000000000032, 6, 14, 1, 0, '+380501112233', 0, 'Купити молоко', NULL, '{}', NULL, NULL, NULL, NULL, NULL, NULL, 0, 0, 132, 3, 0),
(33, 6, 1, 1700000333000, 7130000000000000033, 0, 16, 0, 0, '+4915112345678', 0, 'Im gelöschten Chat', NULL, '{}', NULL, NULL, NULL, NULL, NULL, NULL, 0, 0, 133, 0, 0),
(34, 7, 1, 1700000434000, 7130000000000000034, 0, 17, 1, 1002, '+380501112233', 0, 'outgoing_call', NULL, '{}', NULL, NULL, NULL, 60, NULL, NULL, 0, 0, 134, 3, 0),
(35, 7, 2, 1700000435000, 7130000000000000035, 0, 18, 0, 1002, '+81901234567', 0, 'missed_call', NULL, '{}', NULL, NULL, NULL, 0, NULL, NULL, 0, 0, 135, 0, 0),
(36, 7, 3, 1700000436000, 7130000000000000036, 0, 18, 0, 0, '+81901234567', 0, 'また明日', NULL, '{}', NULL, NULL, NULL, NULL, NULL, NULL, 0, 0, 136, 0, 0);
INSERT INTO messages_calls (conversation_id, message_id, canonized_number, viber_call_type, date, duration, type, token) VALUES
(1, 13, '380671234567', 1, 1700000014000, 125, 1, 7130000000000000013),
(7, 34, '81901234567', 4, 1700000434000, 60, 2, 7130000000000000034),
(7, 35, '81901234567', 1, 1700000435000, 0, 3, 7130000000000000035);
INSERT INTO messages_likes (message_token, like_token, participant_number, date, read) VALUES
(7130000000000000001, 7130000000000000014, '+380671234567', 1700000015000, 1),
(7130000000000000021, 7130000000000000027, '+81901234567', 1700000127000, 1);
