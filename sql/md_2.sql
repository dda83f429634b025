alter table checksCache add column lastDocNumber integer;;
alter table checksCache add column registerTime text;;
update checksCache set lastDocNumber = -1 where outgoing is null;;
update metadata set metadataVersion = 2 where id = 0;;
