-- An app generation whose messages table has no thumbnail size columns.
ALTER TABLE messages DROP COLUMN thumbnail_x;
ALTER TABLE messages DROP COLUMN thumbnail_y;
