-- A sound tree whose values test the export's encoding: texts that are not
-- UTF-8 or hold NUL bytes, NULL columns, created_time values that the
-- records read as 2^63 and above.
CREATE TABLE IF NOT EXISTS logical_table (uuid TEXT PRIMARY KEY NOT NULL,parent_uuid TEXT ,name VARCHAR(32),type TEXT,order_ INTEGER,created_time INTEGER);
INSERT INTO logical_table VALUES ('g', '', 'Ünïcödé 👀', 'Group', 1, -1);
INSERT INTO logical_table VALUES ('c1', 'g', CAST(X'ff00fe41' AS TEXT), 'Channel', 1, -9223372036854775808);
INSERT INTO logical_table VALUES (CAST(X'6300ff' AS TEXT), 'g', NULL, 'Channel', 2, NULL);
INSERT INTO logical_table VALUES ('c3', NULL, 'tab	and "quote"', 'Channel', 2, 9223372036854775807);
