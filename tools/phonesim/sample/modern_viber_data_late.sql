-- The phone-book rows the app wrote last; only in viber_data-wal on a WAL-pending sample phone.
INSERT INTO vibernumbers (canonized_number, photo, viber_name, member_id, encrypted_member_id) VALUES
 ('4915223456781', NULL, 'Jonas', 'Vt2cHq8NbXe5+Pr0sK4dJw==', 'ENC-Vt2cHq8N'),
 ('4916098765432', NULL, 'Mia S.', 'Rf9wLk3MzTa6+Yd1pQ2eNg==', 'ENC-Rf9wLk3M');
