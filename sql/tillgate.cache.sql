PRAGMA foreign_keys = true;;
PRAGMA encoding = "UTF-8";;
PRAGMA auto_vacuum  = 1;;

create table if not exists  metadata (
	id integer primary key,
	metadataVersion integer not null on conflict abort
);;

create trigger if not exists onmetadatainsert
	before insert on metadata
	when ((new.id is null) or (new.id <> 0))
begin
	select raise(abort, 'single record!');
end;;;

create table if not exists checksCache (
	id integer primary key,
	sessionId text,
	incoming text,
	outgoing text
);;
create unique index if not exists checksCachesessionId on checksCache (sessionId);;

insert into metadata (id, metadataVersion) values (0, 1);;
