-- "logical_table" is a view over a table of another name: every row reads,
-- no statement can write.
CREATE TABLE items (uuid TEXT PRIMARY KEY NOT NULL,parent_uuid TEXT ,name VARCHAR(32),type TEXT,order_ INTEGER,created_time INTEGER);
INSERT INTO items VALUES
  ('g1', '', 'One', 'Group', 1, 1000),
  ('g2', 'g1', 'Two', 'Group', 1, 1000),
  ('g3', 'g2', 'Three', 'Group', 1, 1000),
  ('c1', 'g3', 'Door', 'Channel', 1, 1000),
  ('c2', '', 'Gate', 'Channel', 2, 1000);
CREATE VIEW logical_table AS SELECT * FROM items;
