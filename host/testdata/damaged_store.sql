-- A store damaged by hand: every problem and warning that check knows.
-- The table is created with the component's own statement.
CREATE TABLE IF NOT EXISTS logical_table (uuid TEXT PRIMARY KEY NOT NULL,parent_uuid TEXT ,name VARCHAR(32),type TEXT,order_ INTEGER,created_time INTEGER);
-- A sound part: a site with a group and channels, one of them with a NULL
-- parent (top level, as the component reads it).
INSERT INTO logical_table VALUES ('site', '', 'Site', 'Group', 1, 100);
INSERT INTO logical_table VALUES ('lobby', 'site', 'Lobby', 'Group', 1, 101);
INSERT INTO logical_table VALUES ('cam-1', 'lobby', 'Door', 'Channel', 1, 102);
INSERT INTO logical_table VALUES ('cam-2', NULL, 'Roof', 'Channel', 2, 103);
-- An orphan whose parent was deleted, with a channel below it.
INSERT INTO logical_table VALUES ('stale', 'deleted-group', 'Old wing', 'Group', 1, 110);
INSERT INTO logical_table VALUES ('cam-3', 'stale', 'Old door', 'Channel', 1, 111);
-- A cycle of two groups, with a channel hanging below it, and a self-parent.
INSERT INTO logical_table VALUES ('loop-a', 'loop-b', 'Loop A', 'Group', 1, 120);
INSERT INTO logical_table VALUES ('loop-b', 'loop-a', 'Loop B', 'Group', 1, 121);
INSERT INTO logical_table VALUES ('cam-4', 'loop-a', 'Lost', 'Channel', 1, 122);
INSERT INTO logical_table VALUES ('self', 'self', 'Self', 'Group', 3, 123);
-- Two siblings with one order, and a channel ordered before a group.
INSERT INTO logical_table VALUES ('cam-5', 'site', 'Gate', 'Channel', 2, 130);
INSERT INTO logical_table VALUES ('cam-6', 'site', 'Yard', 'Channel', 2, 131);
INSERT INTO logical_table VALUES ('garage', 'site', 'Garage', 'Group', 3, 132);
-- A channel with a child, a type nobody knows, an empty id, bad names.
INSERT INTO logical_table VALUES ('cam-7', 'lobby', 'Desk', 'Channel', 2, 140);
INSERT INTO logical_table VALUES ('cam-8', 'cam-7', 'Under desk', 'Channel', 1, 141);
INSERT INTO logical_table VALUES ('odd', 'lobby', 'Odd', 'Camera', 3, 142);
INSERT INTO logical_table VALUES ('', 'lobby', 'Nameless id', 'Channel', 4, 143);
INSERT INTO logical_table VALUES ('long', 'lobby', 'A name of thirty-three characters', 'Group', 5, 144);
INSERT INTO logical_table VALUES ('unnamed', 'lobby', '', 'Group', 6, 145);
-- Values of the wrong kind.
INSERT INTO logical_table VALUES ('half', 'lobby', 'Half', 'Channel', 7.5, 146);
INSERT INTO logical_table VALUES ('big', 'lobby', 'Big', 'Channel', 5000000000, 'yesterday');
