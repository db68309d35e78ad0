-- The rows of the demo host database: host configuration, remote members and the securities that the
-- sample reports name. SI0002104386, a bond the host does not know yet, is left out on purpose, so that
-- the positions conversion and the daily bond values workbook report it missing. No value holds a ";":
-- the samples test splits the file into statements there.
INSERT INTO VORN_IMP_INI (KEY, VALUE) VALUES
  ('VORNPROTOCOL', 'https'),
  ('VornUri', 'localhost:8443/kdd/Members.svc'),
  ('VORNMEMBERCODE', 'DEMO1'),
  ('CERTIFICATESUBJECTKEYID', '3A5F0C9E1B2D4F6A8C0E2B4D6F8A0C2E4B6D8F0A'),
  ('CERTIFICATEPATH', 'demo/certs/demo1.pem'),
  ('CERTIFICATESTORAGE', 'MY');
INSERT INTO INISET (Kljuc, Vrednost) VALUES
  ('SfVpVornTransaImport', 'D'),
  ('OZNAKACLANA', 'DEMO'),
  ('TransaUseMoveSequence', 'D');
INSERT INTO VORN_REMOTECLAN VALUES
  ('BANKA2', 'https', 'localhost:8443/kdd/Members.svc/', '1122334455667788990011223344556677889900', 'demo/certs/banka2.pem', 'MY'),
  ('BORZNI3', 'https', 'localhost:8443/kdd3/Members.svc/', 'AABBCCDDEEFF00112233445566778899AABBCCDD', 'demo/certs/borzni3.pem', 'MY'),
  ('SKRBNIK4', 'https', 'localhost:8443/kdd4/Members.svc/', '0102030405060708090A0B0C0D0E0F1011121314', 'demo/certs/skrbnik4.pem', 'MY');
-- Market 1 is the domestic exchange ("S"), market 2 a foreign one. The demo runs the security lookup in
-- its listing form (PapirPoKotacijiSLO=1), which takes securities listed on an "S" market only.
INSERT INTO TRG (Sftrg, SFDRZTRG) VALUES (1, 'S'), (2, 'X');
INSERT INTO SFVP (SFVP, ISIN, KRT, ZPDVP, VornTransaImport) VALUES
  (101, 'SI0031102120', 'KRKG', NULL, 'D'),
  (102, 'SI0031102153', 'PETG', NULL, 'N'),
  (103, 'SI0021110513', 'ZVTG', NULL, 'N'),
  (104, 'SI0002103685', 'RS87', '2030-12-31', 'N'),
  (105, 'SI0002103552', 'RS86', '2027-06-15', 'N');
INSERT INTO KTC (SFVP, SFTRG, DANPRK) VALUES (101, 1, NULL), (102, 1, NULL), (103, 1, NULL), (104, 1, NULL),
  (105, 1, NULL);
