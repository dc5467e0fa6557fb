-- A store the component did not make: a chain of groups g1 > g2 > g3 with
-- the channel c1 at its bottom, and c2 at the top level.
CREATE TABLE logical_table (uuid TEXT PRIMARY KEY NOT NULL,parent_uuid TEXT ,name VARCHAR(32),type TEXT,order_ INTEGER,created_time INTEGER);
INSERT INTO logical_table VALUES
  ('g1', '', 'One', 'Group', 1, 1000),
  ('g2', 'g1', 'Two', 'Group', 1, 1000),
  ('g3', 'g2', 'Three', 'Group', 1, 1000),
  ('c1', 'g3', 'Door', 'Channel', 1, 1000),
  ('c2', '', 'Gate', 'Channel', 2, 1000);
