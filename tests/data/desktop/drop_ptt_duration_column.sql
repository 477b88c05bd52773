-- A generation that keeps no voice-message duration at all.
ALTER TABLE Messages DROP COLUMN PttDuration;
