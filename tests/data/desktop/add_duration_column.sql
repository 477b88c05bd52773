-- The later generation keeps media durations in Messages.Duration (milliseconds).
ALTER TABLE Messages ADD COLUMN Duration INTEGER DEFAULT 0;
UPDATE Messages SET Duration = 9800 WHERE EventID IN (104, 105);
