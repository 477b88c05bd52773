-- The phone-book rows the app wrote last; only in viber_data-wal on a WAL sample phone.
INSERT INTO vibernumbers (canonized_number, photo, viber_name) VALUES ('4915110000002', NULL, 'Anna'), ('4915110000003', NULL, 'Jörg');
