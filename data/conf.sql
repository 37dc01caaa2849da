-- Shipped defaults of an installation; built into conf.db at build time.
-- The word lists (params rows of section 'field') come from words.tsv.

CREATE TABLE params (sec TEXT NOT NULL, key TEXT NOT NULL, val TEXT, def TEXT, PRIMARY KEY (sec, key));

CREATE TABLE carats (id INTEGER PRIMARY KEY, carat INTEGER, cname TEXT, pname TEXT, lname TEXT,
                     cfnum INTEGER, cfden INTEGER, required INTEGER);

CREATE TABLE milyem (carat INTEGER PRIMARY KEY, cfine INTEGER);

-- Fineness in thousandths as Turkish jewellers stamp it (the Turkish standard for gold
-- jewellery alloys: 8 ayar 333, 14 ayar 585, 18 ayar 750, 22 ayar 916). Pure gold is
-- traded on the Istanbul exchange as 995 fine ("has altın"), so 24 ayar is 995.
INSERT INTO milyem (carat, cfine) VALUES
  (8, 333), (9, 375), (10, 417), (14, 585), (18, 750), (21, 875), (22, 916), (24, 995);

-- Product lines. cfnum/cfden is the gross weight in grams of one piece; cfnum 0 means the
-- line is sold by the gram. Republic coins are 22 ayar (916): çeyrek 1.75 g, yarım 3.50 g,
-- tam 7.00 g, gremse (iki buçukluk) 17.50 g, Ata (Cumhuriyet) 7.216 g, Ata beşli 36.08 g.
INSERT INTO carats (id, carat, cname, pname, lname, cfnum, cfden, required) VALUES
  (1, 22, '22 Ayar',        '22 Ayar Altın Takı',          '22 Ayar Takı İşçiliği',     0,   1,   1),
  (2, 24, '24 Ayar',        '24 Ayar Has Altın',           '24 Ayar İşçilik',           0,   1,   1),
  (3, 22, 'Çeyrek',         'Çeyrek Altın',                'Çeyrek Altın İşçiliği',     7,   4,   1),
  (4, 22, 'Yarım',          'Yarım Altın',                 'Yarım Altın İşçiliği',      7,   2,   0),
  (5, 22, 'Tam',            'Tam Altın',                   'Tam Altın İşçiliği',        7,   1,   0),
  (6, 22, 'Ata',            'Cumhuriyet (Ata) Altını',     'Ata Altın İşçiliği',        902, 125, 0),
  (7, 22, 'Gremse',         'Gremse Altın',                'Gremse Altın İşçiliği',     35,  2,   0),
  (8, 22, 'Ata Beşli',      'Ata Beşli Altın',             'Ata Beşli İşçiliği',        902, 25,  0),
  (9, 18, '18 Ayar',        '18 Ayar Altın Takı',          '18 Ayar Takı İşçiliği',     0,   1,   0),
  (10, 14, '14 Ayar',       '14 Ayar Altın Takı',          '14 Ayar Takı İşçiliği',     0,   1,   0),
  (11, 8, '8 Ayar',         '8 Ayar Altın Takı',           '8 Ayar Takı İşçiliği',      0,   1,   0);

-- Addresses of the outside services. Installations and tests point them elsewhere.
INSERT INTO params (sec, key, val, def) VALUES
  ('exchange', 'schm', 'https', 'https'),
  ('exchange', 'host', 'www.borsaistanbul.com', 'www.borsaistanbul.com'),
  ('exchange', 'livehost', 'www.borsaistanbul.com', 'www.borsaistanbul.com'),
  ('edm', 'schm', 'https', 'https'),
  ('edm', 'host', 'portal2.edmbilisim.com.tr', 'portal2.edmbilisim.com.tr'),
  ('edm', 'testhost', 'test.edmbilisim.com.tr', 'test.edmbilisim.com.tr'),
  ('edm', 'hostname', 'CORVINA', 'CORVINA'),
  ('uyumsoft', 'schm', 'https', 'https'),
  ('uyumsoft', 'host', 'efatura.uyumsoft.com.tr', 'efatura.uyumsoft.com.tr'),
  ('uyumsoft', 'testhost', 'efatura-test.uyumsoft.com.tr', 'efatura-test.uyumsoft.com.tr'),
  ('server', 'schm', '', ''),
  ('server', 'host', '', ''),
  ('server', 'port', '', ''),
  ('test', 'edm.taxno', '', ''),
  ('test', 'edm.company', '', ''),
  ('test', 'edm.address', '', ''),
  ('test', 'edm.firstname', '', ''),
  ('test', 'edm.lastname', '', ''),
  ('test', 'edm.user', '', ''),
  ('test', 'edm.pass', '', ''),
  ('test', 'uyum.taxno', '', ''),
  ('test', 'uyum.company', '', ''),
  ('test', 'uyum.address', '', ''),
  ('test', 'uyum.firstname', '', ''),
  ('test', 'uyum.lastname', '', ''),
  ('test', 'uyum.user', '', ''),
  ('test', 'uyum.pass', '', '');
