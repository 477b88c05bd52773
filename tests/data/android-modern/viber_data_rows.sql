-- The call log: calls that left a bubble, a call whose bubble is gone, a group call,
-- and a call of a type the app does not name.
INSERT INTO calls (_id, call_id, aggregate_hash, number, canonized_number, viber_call, viber_call_type, date, duration, type, token, group_id, conference_info) VALUES
(1, 501, 9001, '+380671234567', '380671234567', 1, 1, 1700000014000, 125, 1, 7130000000000000013, 0, NULL),
(2, 502, 9002, '+81901234567', '81901234567', 1, 4, 1700000434000, 60, 2, 7130000000000000034, 0, NULL),
(3, 503, 9003, '+4915112345678', '4915112345678', 1, 1, 1700000500000, 0, 3, 7130000000000000040, 0, NULL),
(4, 504, 9004, '+15550001111', '15550001111', 1, 1, 1700000600000, 42, 7, 7130000000000000041, 0, NULL),
(5, 505, 9005, '+81901234567', '81901234567', 1, 1, 1700000700000, 300, 2, 7130000000000000042, 7001, '{"participants":3}');
