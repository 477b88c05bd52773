-- The desktop app's viber.db of the contact-keyed generation, declared as a real file
-- holds it, with the tables the reader does not use.
CREATE TABLE "Contact" ( ContactID integer primary key autoincrement, Name TEXT, ABContact smallint (0,1) default 0 not null,
  Number TEXT unique, MID TEXT unique, EncryptedMID TEXT unique, ClientName TEXT, DownloadID TEXT, ContactFlags long default 0,
  SortName TEXT, Timestamp longint default 0, DateOfBirth TEXT);
CREATE TABLE "ChatInfo" ( ChatID integer primary key autoincrement, Name varchar(200), Token varchar(50) unique, Flags integer default 0,
  TimeStamp longint not null, IconID varchar(255), BackgroundID varchar(255), LastReadMessageToken integer default 0,
  LastReadMessageId integer default 0, LastSeenMessageToken integer default 0, PGType integer, PGUri varchar(255), PGRevision integer,
  PGLongtitude integer, PGLatitude integer, PGCountry varchar(255), PGTabLine varchar(255), PGTags varchar(255),
  PGLastMessageID integer, PGWatchersCount integer, PGSearchFlags integer, PGSearchExFlags integer, MetaData varchar(255) );
CREATE TABLE "ChatRelation" ( ChatID integer references ChatInfo (ChatID) NOT NULL, ContactID integer references Contact (ContactID) NOT NULL,
  PGRole integer, primary key (ChatID, ContactID) );
CREATE TABLE "Events" ( EventID integer primary key autoincrement, TimeStamp longint not null, Direction unsigned integer not null,
  Type smallint not null, ContactLongitude signed long default 0, ContactLatitude signed long default 0,
  ChatID integer references ChatInfo (ChatID) on update cascade, ContactID integer references Contact (ContactID) on update cascade,
  IsSessionLifeTime unsigned integer (0, 1) default 0, Flags integer default 0, Token unsigned long not null,
  IsRead smallint (0,1) not null default 0, SortOrder unsigned long NOT NULL DEFAULT 0, Seq integer NOT NULL DEFAULT 0 );
CREATE TABLE "Messages" ( EventID integer references Events (EventID) on update cascade, Type unsigned integer not null,
  Status integer not null, Subject varchar(500), Body varchar(5000), Flag unsigned integer default 0, PayloadPath varchar(1000),
  ThumbnailPath varchar(100), StickerID unsigned long default 0, PttID varchar(100), PttStatus unsigned short default 0,
  Duration signed default 0, PGMessageId unsigned long default 0, PGIsLiked integer, PGLikeCount integer, Info varchar(7000),
  AppId integer default 0, ClientFlag unsigned integer default 0, FollowersLikeCount unsigned integer default 0,
  AdminsReactions varchar(255), MembersReactions varchar(255), PrevReaction integer, SelfReaction varchar(10),
  PrevSelfReaction varchar(10), primary key (EventID) );
CREATE TABLE "LikeRelation" (MessageToken INTEGER NOT NULL, LikeEventID INTEGER REFERENCES Events(EventID) ON DELETE CASCADE NOT NULL,
  primary key(MessageToken, LikeEventID));
CREATE TABLE DownloadFile (EventID integer primary key, DownloadID TEXT);
CREATE TABLE Calls (EventID integer primary key, Duration integer default 0);
CREATE VIEW MessageInfo AS SELECT m.Body, e.TimeStamp, e.ChatID, e.ContactID FROM Messages m JOIN Events e ON e.EventID = m.EventID;
