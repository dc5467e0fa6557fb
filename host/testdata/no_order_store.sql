-- "logical_table" without its order_ column: nothing reads at start, and
-- every statement that names the order fails.
CREATE TABLE logical_table (uuid TEXT PRIMARY KEY NOT NULL,parent_uuid TEXT ,name VARCHAR(32),type TEXT,created_time INTEGER);
INSERT INTO logical_table VALUES ('g1', '', 'One', 'Group', 1000);
