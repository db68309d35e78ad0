-- The host database tables that VornImport reads, in SQL that runs unchanged on SQLite and PostgreSQL.
-- Names are unquoted, as the host creates them (PostgreSQL folds them to lower case).
CREATE TABLE VORN_IMP_INI (KEY varchar(60), VALUE varchar(250));
CREATE TABLE INISET (Kljuc varchar(60), Vrednost varchar(250));
CREATE TABLE VORN_REMOTECLAN (VornMemberCode varchar(20), VornProtocol varchar(10), VornUri varchar(250),
  CertificateSubjectKeyID varchar(80), CertificatePath varchar(250), CertificateStorage varchar(60));
CREATE TABLE SFVP (SFVP integer, ISIN varchar(12), KRT varchar(12), ZPDVP date, VornTransaImport varchar(1));
CREATE TABLE KTC (SFVP integer, SFTRG integer, DANPRK date);
CREATE TABLE TRG (Sftrg integer, SFDRZTRG varchar(2));
