-- The call log of the same phone; its calls match the call rows of viber_messages.
INSERT INTO calls (call_id, aggregate_hash, number, canonized_number, viber_call, viber_call_type, date, duration, type, end_reason, start_reason, token, looked) VALUES
(1400000009, -1480283710, '+491702222222', '491702222222', 1, 1, 1400000009000, 125, 1, 3, 0, 5012345678901234009, 1),
(1400000010, 903121452, '+491703333333', '491703333333', 1, 4, 1400000010000, 0, 3, 0, 0, 5012345678901234010, 0);
INSERT INTO vibernumbers (canonized_number, viber_name) VALUES ('491702222222', 'Anna'), ('491703333333', 'Ben');
