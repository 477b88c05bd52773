-- The rows the app wrote last; only in viber_messages-wal on a WAL-pending sample phone.
-- The newest message is still unread.
INSERT INTO messages (_id, conversation_id, order_key, msg_date, token, conversation_type, participant_id, unread, group_id, extra_flags, deleted, send_type, extra_mime, user_id, seq, status, body, msg_info) VALUES
 (10, 2, 3000, 1715766131400, 5971465646411602110, 1, 3, 0, 5894301276543210871, 0, 0, 1, 0, '+4917612345670', 1804, 3, 'Great, see you all there', '{}'),
 (11, 2, 5000, 1715769900660, 5971481457242663704, 1, 5, 1, 5894301276543210871, 0, 0, 0, 0, '+4916098765432', 5102, 0, 'Weather looks good for Saturday ☀️', '{}');
UPDATE conversations SET date = 1715769900660 WHERE _id = 2;
