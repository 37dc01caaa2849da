#!/usr/bin/python3
"""Writes the synthetic Turkish bank statements of this folder and their expected results.

Every person, company, IBAN, account, card and identity number is invented here from a fixed
random seed; bank names, utilities and public bodies are real.  Run with Debian's python3
(python3-openpyxl, python3-xlwt, python3-reportlab, fonts-dejavu-core) and LibreOffice:

    /usr/bin/python3 examples/statements/generate.py

Options: --no-soffice skips the two files that LibreOffice converts (they are kept as they are).
"""

import csv
import datetime as dt
import io
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import zipfile
import xml.etree.ElementTree as ET

HERE = os.path.dirname(os.path.abspath(__file__))
rng = random.Random(20251014)

# ---------------------------------------------------------------------------------------------
# Names: common entries of the name lists in the shared names data (first names with official
# frequency ranks, surnames attested by three or more sources), copied here so that the script
# stands alone.  Surnames that would evoke public figures are left out.
FIRST_M = """ABDULLAH ADEM AHMET ALİ ARİF BAYRAM BEKİR BURAK CEMAL EMRE ENES FATİH FURKAN GÖKHAN HAKAN
HALİL HASAN HÜSEYİN İBRAHİM İSMAİL KADİR KEMAL MAHMUT MEHMET METİN MUHAMMED MUHAMMET MURAT MUSA
MUSTAFA ONUR ORHAN OSMAN ÖMER RAMAZAN RECEP SALİH SERKAN SÜLEYMAN ŞABAN ŞÜKRÜ UĞUR YAKUP YASİN
YUNUS YUSUF OKAN VOLKAN BERK İLKER TOLGA FARUK""".split()
FIRST_F = """ASİYE AYNUR AYSEL AYŞE AYŞEGÜL AYTEN BÜŞRA CEMİLE DERYA DİLEK DÖNDÜ EBRU ELİF EMİNE ESMA
ESRA FADİME FATMA FİLİZ GÜLSÜM HACER HALİME HANİFE HATİCE HAVVA HAYRİYE HÜLYA KADRİYE KEZİBAN KÜBRA
LEYLA MELEK MERVE MERYEM ÖZLEM RABİA RUKİYE SELMA SEVGİ SEVİM SİBEL SONGÜL ŞERİFE TUĞBA YASEMİN
ZEHRA ZELİHA ZEYNEP AYLA GİZEM BURCU SELİN CEMRE İPEK ŞEYMA NAZLI GAMZE""".split()
SURNAMES = """ACAR AKAR AKAY AKBULUT AKÇAY AKDAĞ AKGÜL AKKAYA AKMAN AKSOY AKSU AKTAŞ AKYÜZ ARSLAN ASLAN
ATEŞ AVCI AYDIN AYHAN BAŞOĞLU BİÇER BİLGİN BOZKURT BULUT ÇAKIR ÇELİK ÇETİN ÇEVİK DEMİR DOĞAN DURAK
DURMAZ EKİCİ ERBAY ERTÜRK GÜLER GÜNEŞ IŞIK KAHVECİ KAPLAN KARA KARADENİZ KARADUMAN KASAPOĞLU KAYA
KESKİN KILIÇ KOÇ KOÇYİĞİT KORKMAZ KOYUNCU KÖSE KURT OKUR ÖZCAN ÖZDEMİR ÖZER ÖZKAN ÖZTÜRK POLAT
SARI SEZER ŞAHİN ŞEN ŞİMŞEK TAŞ TAŞÇI TEKİN TURAN TURGUT TÜTÜNCÜ ÜNAL YALÇIN YAMAN YAVUZ YAZICI
YILDIRIM YILDIZ YILMAZ YÜKSEL ZORLU SARIKAYA ERENLER AYDOĞAN YALÇINKAYA TAŞDEMİR KARAGÖZ GÜNDOĞDU
DURSUN BAŞARAN""".split()

# Invented company names (no real firm is meant).
CO_HEADS = """ALTINOLUK GÜNIŞIĞI BEYAZSU YEŞİLPINAR ÇINARALTI DEMİRKAPI MAVİKUM SEDEFKAYA KARAÇAM
AKPINARLI ULUDERE TUNAKENT ESENTEPELİ GÖKKUŞAĞI BOZTEPELİ""".split()
CO_TRADES = ["KUYUMCULUK", "MÜCEVHERAT", "GIDA", "TEKSTİL", "İNŞAAT", "OTOMOTİV", "MOBİLYA", "ELEKTRONİK"]
CO_SUFFIX = ["SAN. VE TİC. LTD. ŞTİ.", "TİC. A.Ş.", "LTD. ŞTİ.", "İTH. İHR. SAN. TİC. LTD. ŞTİ.",
             "SAN. TİC. A.Ş."]

GOLD_NOTES = ["çeyrek altın", "22 ayar bilezik", "gram altın", "yarım altın", "künye bedeli", "nişan yüzüğü",
              "tam altın", "kolye ucu", "alyans", "bileklik", "cumhuriyet altını", "düğün takısı",
              "ata lira", "set takı", "küpe", "burma bilezik", "kalan ödeme", "kapora", "altın bedeli"]

_used = set()


def tr_upper(s):
    return s.replace("i", "İ").replace("ı", "I").upper()


def tr_lower(s):
    return s.replace("İ", "i").replace("I", "ı").lower()


def tr_title(s):
    return " ".join(w[:1] + tr_lower(w[1:]) for w in s.split(" "))


FOLD = str.maketrans("ÇĞİÖŞÜÂÎÛ", "CGIOSUAIU")


def fold(s):
    """The payer name as the expected files write it: Turkish upper case folded to Latin."""
    return " ".join(tr_upper(s).translate(FOLD).split())


def person(sex=None):
    while True:
        pool = FIRST_M if (sex or rng.choice("MF")) == "M" else FIRST_F
        name = rng.choice(pool) + " " + rng.choice(SURNAMES)
        if name not in _used:
            _used.add(name)
            return name


def company(trade=None, suffix=None):
    while True:
        name = "%s %s %s" % (rng.choice(CO_HEADS), trade or rng.choice(CO_TRADES), suffix or rng.choice(CO_SUFFIX))
        if name not in _used:
            _used.add(name)
            return name


# ---------------------------------------------------------------------------------------------
# Numbers

def tckn_ok(s):
    if not re.fullmatch(r"[1-9][0-9]{10}", s):
        return False
    d = [int(c) for c in s]
    return ((d[0] + d[2] + d[4] + d[6] + d[8]) * 7 - (d[1] + d[3] + d[5] + d[7])) % 10 == d[9] \
        and sum(d[:10]) % 10 == d[10]


def vkn_ok(s):
    if not re.fullmatch(r"[0-9]{10}", s):
        return False
    total = 0
    for i in range(1, 10):
        v = (int(s[i - 1]) + 10 - i) % 10
        p = (v * 2 ** (10 - i)) % 9
        if v != 0 and p == 0:
            p = 9
        total += p
    return (10 - total % 10) % 10 == int(s[9])


def tckn():
    d = [rng.randint(1, 9)] + [rng.randint(0, 9) for _ in range(8)]
    d.append(((d[0] + d[2] + d[4] + d[6] + d[8]) * 7 - (d[1] + d[3] + d[5] + d[7])) % 10)
    d.append(sum(d) % 10)
    s = "".join(map(str, d))
    assert tckn_ok(s)
    return s


def vkn():
    while True:
        s = "".join(str(rng.randint(0, 9)) for _ in range(9))
        for last in "0123456789":
            if vkn_ok(s + last):
                return s + last


def digits(n, first="123456789"):
    return rng.choice(first) + "".join(str(rng.randint(0, 9)) for _ in range(n - 1))


def fake10(first="123456789"):
    """A 10-digit run (subscriber, query or merchant number) that fails the tax-number check."""
    while True:
        s = digits(10, first)
        if not vkn_ok(s):
            return s


def fake11():
    """An 11-digit run that fails the personal-number check and the tax-number check of its windows."""
    while True:
        s = digits(11)
        if not tckn_ok(s) and not vkn_ok(s[:10]) and not vkn_ok(s[1:]):
            return s


def iban(bank, account16=None):
    """A mod-97 valid IBAN of a real bank code with a synthetic account part (it always holds 999)."""
    if account16 is None:
        account16 = "0999" + digits(12, "0123456789")
    assert len(account16) == 16
    bban = "%05d" % int(bank) + "0" + account16
    check = 98 - int(bban + "292700") % 97
    s = "TR%02d%s" % (check, bban)
    assert int(s[4:] + "2927" + s[2:4]) % 97 == 1
    return s


def card_masked(style=0):
    bins = ["5124", "4506", "5211", "5549", "4022"]
    b, tail = rng.choice(bins), digits(4, "0123456789")
    if style == 0:
        return "%s **** **** %s" % (b, tail)
    if style == 1:
        return "%s%s******%s" % (b, digits(2, "0123456789"), tail)
    return "%s%s****%s" % (b, digits(4, "0123456789"), tail)


# ---------------------------------------------------------------------------------------------
# Amounts (kuruş) and their written forms

def sale():
    kind = rng.random()
    if kind < 0.35:
        return rng.choice([2500, 3000, 4500, 5000, 7500, 10000, 12000, 15000, 20000, 25000, 32000]) * 100
    if kind < 0.55:
        return rng.randint(15, 420) * 10 * 100
    return rng.randint(150000, 8500000)


def tr_num(k, plus=False, grouping=True):
    sign = "-" if k < 0 else ("+" if plus and k > 0 else "")
    whole, frac = divmod(abs(k), 100)
    w = "{:,}".format(whole).replace(",", ".") if grouping else str(whole)
    return "%s%s,%02d" % (sign, w, frac)


def us_num(k):
    whole, frac = divmod(abs(k), 100)
    return "%s%s.%02d" % ("-" if k < 0 else "", "{:,}".format(whole), frac)


def num(k):
    """The value a spreadsheet writer stores in a numeric cell."""
    return k // 100 if k % 100 == 0 else k / 100


# ---------------------------------------------------------------------------------------------
# Transactions

class Tx:
    def __init__(self, desc, amount, payer=None, ident="0", follow=False, **extra):
        self.desc, self.amount, self.payer, self.ident = desc, amount, payer, ident
        self.follow = follow      # a fee row booked with the transfer before it
        self.extra = extra
        self.when = None
        self.balance = None


def inc(desc, payer, ident="0", amount=None, **extra):
    """An incoming sale: listed in the expected results under payer ('' for card settlements)."""
    return Tx(desc, amount if amount is not None else sale(), payer, ident, **extra)


def out(desc, amount, follow=False, **extra):
    """Money out, or money in that is no sale (own transfers, interest, refunds): not listed."""
    return Tx(desc, amount, None, follow=follow, **extra)


def schedule(txs, year, month, first_day=1, last_day=None, opening=None, night=False):
    """Gives the transactions (in booking order) increasing date-times in the month and running balances."""
    if last_day is None:
        last_day = (dt.date(year + month // 12, month % 12 + 1, 1) - dt.timedelta(days=1)).day
    start = dt.datetime(year, month, first_day, 0, 0)
    span = (dt.datetime(year, month, last_day, 23, 0) - start).total_seconds()
    heads = [t for t in txs if not t.follow]
    marks = sorted(rng.uniform(0, span) for _ in heads)
    balance = opening if opening is not None else rng.randint(2000000, 30000000)
    it = iter(marks)
    prev = None
    for t in txs:
        if t.follow and prev is not None:
            t.when = prev + dt.timedelta(seconds=rng.randint(0, 2))
        else:
            when = start + dt.timedelta(seconds=next(it))
            if not night and not (8 <= when.hour < 22):
                when = when.replace(hour=rng.randint(9, 20))
            t.when = when.replace(microsecond=0)
        prev = t.when
        balance += t.amount
        t.balance = balance
    # keep the booking order monotonic after the hour adjustments
    for a, b in zip(txs, txs[1:]):
        if b.when < a.when:
            b.when = a.when + dt.timedelta(seconds=rng.randint(1, 50))
    return txs


EXPECTED = {}     # file name -> list of (date, kuruş, name, ident)
SOURCES = {}      # file name -> all descriptions written (for the self-check)


def expect(fname, txs):
    rows = []
    for t in txs:
        if t.payer is not None:
            assert t.amount > 0, t.desc
            rows.append((t.when.strftime("%Y-%m-%d"), t.amount, fold(t.payer), t.ident))
    EXPECTED[fname] = rows
    SOURCES[fname] = [t.desc for t in txs]


def write_expected(fname):
    with open(os.path.join(HERE, fname + ".expected.tsv"), "w", encoding="utf-8", newline="\n") as f:
        f.write("date\tamount\tname\tident\n")
        for d, k, n, i in EXPECTED[fname]:
            f.write("%s\t%d\t%s\t%s\n" % (d, k, n, i))


def path(fname):
    return os.path.join(HERE, fname)


BANKS = {
    "0010": "T.C. Ziraat Bankası A.Ş.", "0012": "Türkiye Halk Bankası A.Ş.",
    "0015": "Türkiye Vakıflar Bankası T.A.O.", "0046": "Akbank T.A.Ş.", "0062": "Türkiye Garanti Bankası A.Ş.",
    "0064": "Türkiye İş Bankası A.Ş.", "0067": "Yapı ve Kredi Bankası A.Ş.", "0111": "QNB Bank A.Ş.",
    "0157": "Enpara Bank A.Ş.", "0205": "Kuveyt Türk Katılım Bankası A.Ş.",
    "0209": "Ziraat Katılım Bankası A.Ş.",
}


def note():
    return rng.choice(GOLD_NOTES)


# =============================================================================================
# 1. Ziraat Bankası, XLSX from a non-Excel writer (openpyxl, then the zip rewritten)

def ziraat():
    fname = "ziraat_hesap_hareketleri_30092025.xlsx"
    holder = person("M")
    holder_co = "%s KUYUMCULUK" % tr_upper(holder.split()[1])
    cust = "999" + digits(6, "0123456789")
    acct = "1273-%s-5001" % cust
    own_iban = iban("0010", "90" + cust + "05001")
    card = "5124 **** **** %s" % digits(4, "0123456789")
    p = [person() for _ in range(12)]
    long_co = "YEŞİLPINAR KUYUMCULUK MÜCEVHERAT TURİZM İNŞAAT VE TİCARET LİMİTED ŞİRKETİ"
    _used.add(long_co)
    katilim_co = company("KUYUMCULUK", "TİC. A.Ş.")
    tc1 = tckn()
    merchant = fold(person())  # a person's name as a POS merchant on a debit
    fis = lambda: "F" + "".join(rng.choice("ABCDEFGHKLMNPRSTUVYZ0123456789") for _ in range(5))

    def fast_in(name, bank, text=None):
        n = text if text is not None else note()
        return "Gönd: %s %s%s-%s FAST işlemi" % (name, (n + " ") if n else "", bank, BANKS[bank])

    txs = [
        inc(fast_in(p[0], "0064"), p[0]),
        inc(fast_in(p[1], "0046", ""), p[1]),
        out("Türkiye Garanti Bankası A.Ş./%s-%s/kira eylülFAST işlemi" % (iban("0062"), tr_lower(p[2])), -3250000),
        out("MESAJ ÜCRETİ TUTARI", -671, follow=True),
        out("BSMV TUTARI", -34, follow=True),
        inc("Gönd: %s GİDEN EFT - %s" % (long_co[:50], long_co), long_co, amount=8500000),
        inc("%s %s Ziraat Mobil Havale" % (note(), p[3]), p[3]),
        out("dükkan kirası %s Ziraat Mobil Havale" % p[4], -2750000),
        out("POS ALIŞVERİŞ (YURTİÇİ) KART NO: %s İŞYERİ: %-20s MUTABAKAT: %s" % (card, merchant[:20], digits(7)),
            -184500),
        out("%s-İSKİ TAHSİLATI" % fake10("89"), -41260),
        inc(fast_in(p[5], "0062", "TC %s %s" % (tc1, note())), p[5], tc1),
        out("%s-TURKCELL" % (lambda ph: ph + ph)("53" + digits(8, "0123456789")), -65900),
        inc("Ziraat Katılım Bankası A.Ş./%s-%s" % (iban("0209"), katilim_co[:40]), katilim_co[:40]),
        out("SATIŞ IADE KARTNO:%s UYEISYERI:é(5) PROVIZYON:é(6)" % card, 129900),
        out("Gönd: %s HESAPLAR ARASI E.F.T. Ziraat Bankası TL" % holder_co, 5000000),
        out("YURTİÇİ ATM P.Ç. KART NO:%s BANKA : 0000640000 %s" % (card, "KAPALIÇARŞI ATM"), -1000000),
        inc(fast_in(tr_lower(p[6]), "0111", "yüzük"), p[6]),
        inc((lambda f: f[:f.index("Katılım B") + len("Katılım B")])(fast_in(p[7], "0205", "kolye")), p[7],
            amount=1234000),
        inc(fast_in(p[8], "0067", "%s için %s" % (tr_lower(p[9].split()[0]), note())), p[8]),
        out("1273HOHH25%s Referanslı Havale Komisyonu Tahsilatı" % digits(6, "0123456789"), -1250),
        inc(fast_in(p[10], "0012"), p[10], amount=4500000),
    ]
    schedule(txs, 2025, 9)
    for t in txs:
        t.extra["fis"] = fis() if not t.follow else None
    for a, b in zip(txs, txs[1:]):
        if b.follow:
            b.extra["fis"] = a.extra["fis"]
    expect(fname, txs)

    import openpyxl
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "Hesap Hareketleri"
    put = lambda r, c, v: ws.cell(row=r, column=c, value=v)
    put(5, 1, "Sayın %s" % holder)
    put(6, 1, "01.09.2025 - 30.09.2025 tarihleri arasındaki hesap hareketleri listelenmektedir.")
    put(7, 1, "Hesap Numarası"); put(7, 3, "%s KAPALIÇARŞI/İSTANBUL ŞUBESİ TL" % acct)
    put(8, 1, "IBAN"); put(8, 3, own_iban)
    put(11, 1, "Hesap Hareketleri")
    for c, h in enumerate(["Tarih", "Fiş No", "Açıklama", "İşlem Tutarı", "Bakiye"], 1):
        put(12, c, h)
    r = 13
    for t in reversed(txs):          # newest first
        put(r, 1, t.when.strftime("%d.%m.%Y"))
        put(r, 2, t.extra["fis"])
        put(r, 3, t.desc)
        put(r, 4, num(t.amount)).number_format = "#,##0.##"
        put(r, 5, num(t.balance)).number_format = "#,##0.##"
        r += 1
    debit = sum(t.amount for t in txs if t.amount < 0)
    credit = sum(t.amount for t in txs if t.amount > 0)
    r += 1
    put(r, 1, "Borç:%s" % tr_num(debit)); put(r, 3, "Alacak:%s" % tr_num(credit).replace(",00", ""))
    r += 2
    put(r, 1, "Bu belge bilgi amaçlıdır; resmi hesap özeti yerine geçmez. Hesap hareketleriniz "
              "işlem tarihine göre listelenmiştir.")
    put(r + 1, 1, "www.ziraatbank.com.tr")
    tmp = path(fname + ".tmp")
    wb.save(tmp)
    non_excel_writer(tmp, path(fname))
    os.remove(tmp)
    return fname


def _prefix(xml, ns_main):
    """Moves the default namespace of an XML part to the prefix x: on every element."""
    xml = xml.replace('xmlns="%s"' % ns_main, 'xmlns:x="%s"' % ns_main, 1)
    return re.sub(r"<(/?)(?![?!])([A-Za-z_][\w.-]*)(?=[\s/>])", r"<\1x:\2", xml)


def non_excel_writer(src, dst):
    """Rewrites an openpyxl workbook the way the non-Excel writer behind some bank exports does:
    x:-prefixed elements, cells without r=, inline t="str" strings and no sharedStrings part,
    the sheet part named sheet.xml, an empty <x:fill/> in the styles and a wrong dimension."""
    ns = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
    q = lambda tag: "{%s}%s" % (ns, tag)
    zin = zipfile.ZipFile(src)
    shared = []
    if "xl/sharedStrings.xml" in zin.namelist():
        for si in ET.fromstring(zin.read("xl/sharedStrings.xml")).iter(q("si")):
            shared.append("".join(t.text or "" for t in si.iter(q("t"))))
    sheet = ET.fromstring(zin.read("xl/worksheets/sheet1.xml"))
    rows = {}
    for row in sheet.iter(q("row")):
        cells = {}
        for c in row.iter(q("c")):
            m = re.match(r"([A-Z]+)([0-9]+)", c.get("r"))
            col = 0
            for ch in m.group(1):
                col = col * 26 + ord(ch) - 64
            v = c.find(q("v"))
            text = v.text if v is not None else None
            if c.get("t") == "s":
                text = shared[int(text)]
            elif c.get("t") == "inlineStr":
                # openpyxl writes its strings inline (<is><t>), with no <v> at all
                inline = c.find(q("is"))
                text = "".join(t.text or "" for t in inline.iter(q("t"))) if inline is not None else None
            cells[col] = (c.get("t"), c.get("s"), text)
        rows[int(row.get("r"))] = cells
    esc = lambda s: s.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
    out = ['<?xml version="1.0" encoding="utf-8"?><x:worksheet xmlns:x="%s">' % ns,
           '<x:dimension ref="A1:E3"/><x:sheetData>']
    for r in range(1, max(rows) + 1):
        cells = rows.get(r, {})
        if not cells:
            out.append("<x:row/>")
            continue
        out.append("<x:row>")
        for col in range(1, max(cells) + 1):
            if col not in cells or cells[col][2] is None:
                out.append("<x:c/>")
                continue
            t, s, text = cells[col]
            style = ' s="%s"' % s if s and s != "0" else ""
            if t in ("s", "str", "inlineStr"):
                out.append('<x:c t="str"%s><x:v>%s</x:v></x:c>' % (style, esc(text)))
            else:
                out.append('<x:c%s><x:v>%s</x:v></x:c>' % (style, text))
        out.append("</x:row>")
    out.append("</x:sheetData></x:worksheet>")
    parts = {}
    for name in zin.namelist():
        data = zin.read(name).decode("utf-8")
        if name == "xl/sharedStrings.xml":
            continue
        if name == "xl/worksheets/sheet1.xml":
            name, data = "xl/worksheets/sheet.xml", "".join(out)
        elif name == "xl/styles.xml":
            data = re.sub(r'<fills count="(\d+)">',
                          lambda m: '<fills count="%d">' % (int(m.group(1)) + 1), data)
            data = data.replace("</fills>", "<fill/></fills>")
            data = _prefix(data, ns)
        elif name == "xl/workbook.xml":
            data = _prefix(data, ns)
        elif name == "docProps/core.xml":
            data = fixed_core_times(data.encode("utf-8")).decode("utf-8")
        elif name == "[Content_Types].xml":
            data = re.sub(r'<Override PartName="/xl/sharedStrings.xml"[^>]*/>', "", data)
            data = data.replace("/xl/worksheets/sheet1.xml", "/xl/worksheets/sheet.xml")
        elif name == "xl/_rels/workbook.xml.rels":
            data = re.sub(r'<Relationship[^>]*sharedStrings[^>]*/>', "", data)
            data = data.replace("worksheets/sheet1.xml", "worksheets/sheet.xml")
        parts[name] = data
    zin.close()
    with zipfile.ZipFile(dst, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in parts.items():
            info = zipfile.ZipInfo(name, (2025, 9, 30, 10, 15, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, data.encode("utf-8"))


def fixed_core_times(data):
    """openpyxl stamps the saving time into the document properties; a fixed time keeps reruns identical."""
    return re.sub(rb"(<dcterms:(?:created|modified)[^>]*>)[^<]*", rb"\g<1>2025-10-01T09:00:00Z", data)


def fix_zip_dates(fname, when=(2025, 10, 1, 9, 0, 0), rewrite=None):
    """Gives every member of a zip one fixed time stamp so that reruns write the same bytes."""
    with zipfile.ZipFile(fname) as z:
        parts = [(i.filename, z.read(i.filename)) for i in z.infolist()]
    with zipfile.ZipFile(fname, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in parts:
            if rewrite:
                data = rewrite(name, data)
            if name == "docProps/core.xml":
                data = fixed_core_times(data)
            info = zipfile.ZipInfo(name, when)
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, data)


# =============================================================================================
# 2. Akbank, XLSX written by openpyxl: two exports pasted one below the other

def akbank():
    fname = "akbank_hesap_hareketleri.xlsx"
    holder = company("KUYUMCULUK", "LTD. ŞTİ.")
    own_iban = iban("0046")
    own_no = "0" + digits(6, "0123456789")
    p = [person() for _ in range(12)]
    supplier = company("MÜCEVHERAT", "SAN. TİC. A.Ş.")
    buyer_co = company("TEKSTİL")
    vk = vkn()
    tc = tckn()
    dek = lambda: digits(8)

    def cutfast(name, text, width):
        s = "FAST:%s %s" % (name, text)
        assert len(s) > width > len("FAST:" + name) + 1
        return s[:width]

    first = [
        inc("FAST:%s %s" % (p[0], note()), p[0]),
        inc("7777/MBL-%s-%s-%s" % (dek(), p[1], note()), p[1]),
        out("FATURA ÖDEME/İGDAŞ/%s" % fake10("12"), -38740),
        inc(cutfast(p[2], "çeyrek altın ödemesi", len("FAST:" + p[2]) + 3), p[2], amount=1100000),
        out("EFT: %s HESAPLAR ARASI EFT - Akbank" % holder, 12000000),
        inc("EFT: %s VKN %s FATURA 2025/%d" % (buyer_co, vk, rng.randint(100, 999)), buyer_co, vk),
        out("7777/MBL-%s-%s-hurda altın alımı" % (dek(), p[3]), -4580000),
        out("EFT ÜCRETİ", -1052, follow=True),
        out("BSMV", -53, follow=True),
        inc("POS ÜYE İŞYERİ ALACAK İŞYERİ NO: %s GÜNSONU" % fake10("9"), ""),
        inc("7777/MBL-HAV.%s-%s" % (p[4], digits(9)), p[4]),
    ]
    second = [
        inc("FAST:%s" % p[5], p[5]),
        out("DBS ODM/%s/%s" % (supplier, fake10()), -15687500),
        inc("FAST:%s TCKN %s %s" % (p[6], tc, note()), p[6], tc),
        out("KREDİ KARTI ÖDEMESİ %s" % card_masked(0), -845000),
        inc("7777/MBL-%s-%s-%s" % (dek(), tr_title(p[7]), note()), p[7]),
        inc("POS ÜYE İŞYERİ ALACAK İŞYERİ NO: %s GÜNSONU" % fake10("9"), ""),
        out("Artı Para Faizi", -21733),
        inc("FAST:%s %s" % (p[8], "hesaba"), p[8], amount=2000000),
        inc("7777/MBL-%s-%s-kalan" % (dek(), p[9]), p[9]),
    ]
    schedule(first, 2025, 9, 1, 15)
    schedule(second, 2025, 9, 16, 30, opening=first[-1].balance)
    for t in first + second:
        t.extra["dek"] = digits(7) if not t.follow else None
    for seq in (first, second):
        for a, b in zip(seq, seq[1:]):
            if b.follow:
                b.extra["dek"] = a.extra["dek"]
    expect(fname, first + second)

    import openpyxl
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "Hesap Hareketleri"
    r = [1]

    def row(*vals):
        for c, v in enumerate(vals, 1):
            if v is not None:
                ws.cell(row=r[0], column=c, value=v)
        r[0] += 1

    for seq, period, order in ((first, "01.09.2025 - 15.09.2025", 1), (second, "16.09.2025 - 30.09.2025", -1)):
        top = r[0]
        row("AKBANK T.A.Ş.")
        row("Hesap Hareketleri")
        row("Müşteri Adı Soyadı / Unvanı:", holder)
        row("Şube:", "0345 - ÇEMBERLİTAŞ")
        row("Hesap No:", "0345 - %s" % own_no)
        row("IBAN:", own_iban)
        row("Tarih Aralığı:", period)
        row("Kullanılabilir Bakiye:", tr_num(seq[-1].balance) + " TL")
        row()
        assert r[0] - top == 9
        row("Tarih", "Saat", "Tutar", "Bakiye", "Borç/Alacak", "Açıklama", "Fiş/Dekont No")
        for t in seq[::order]:
            row(t.when.strftime("%d.%m.%Y"), t.when.strftime("%H:%M"), num(t.amount), num(t.balance),
                "B" if t.amount < 0 else "A", t.desc, t.extra["dek"])
        row()
        row("Toplam Borç:", tr_num(sum(t.amount for t in seq if t.amount < 0)) + " TL")
        row("Toplam Alacak:", tr_num(sum(t.amount for t in seq if t.amount > 0)) + " TL")
        row()
    for c, w in zip("ABCDEFG", (12, 8, 12, 12, 11, 60, 14)):
        ws.column_dimensions[c].width = w
    wb.save(path(fname))

    def wrong_dimension(name, data):
        if name == "xl/worksheets/sheet1.xml":
            data = re.sub(rb'<dimension ref="[^"]*"', b'<dimension ref="A1:G12"', data)
        return data
    fix_zip_dates(path(fname), rewrite=wrong_dimension)
    return fname


# =============================================================================================
# 3. Yapı Kredi, XLS (BIFF8) written by xlwt, with a shared-string table longer than one record

LEGAL = [
    "Bu hesap hareketleri dökümü bilgilendirme amacıyla hazırlanmıştır ve hesap özeti yerine geçmez. "
    "Dökümde yer alan işlemler, işlem tarihi ve saati esas alınarak sıralanmıştır; valörlü işlemlerde "
    "bakiyeye yansıma tarihi farklılık gösterebilir. Şikâyet ve itirazlarınızı şubelerimize, "
    "müşteri iletişim merkezimize veya internet şubemiz üzerinden iletebilirsiniz. ",
    "Kişisel verileriniz, 6698 sayılı Kişisel Verilerin Korunması Kanunu kapsamında, bankacılık "
    "mevzuatının öngördüğü süreler boyunca işlenmekte ve saklanmaktadır. Aydınlatma metnine ve "
    "haklarınıza ilişkin ayrıntılı bilgiye internet sitemizden ulaşabilirsiniz. ",
    "Elektronik fon transferi, FAST ve havale işlemlerine uygulanan ücret, komisyon ve masraflar "
    "ile bunlara ilişkin Banka ve Sigorta Muameleleri Vergisi tutarları, ilgili işlemle aynı "
    "referans numarasıyla ayrı satırlar hâlinde gösterilir. Çek, senet ve otomatik ödeme "
    "talimatlarına ilişkin hareketler tahsilat tarihinde listelenir. ",
]


def yapikredi_xls():
    fname = "yapikredi_hesap_hareketleri.xls"
    holder = person("F")
    acct = digits(8)
    own_iban = iban("0067", "10000000" + acct)
    p = [person() for _ in range(14)]
    co = company("OTOMOTİV", "SAN. VE TİC. LTD. ŞTİ.")
    long_co = "BEYAZSU YAZILIM VE BİLGİ TEKNOLOJİLERİ ANONİM ŞİRKETİ"
    _used.add(long_co)
    tc = tckn()
    other = tr_title(tr_upper(rng.choice(FIRST_F)) + " " + p[5].split()[1])
    kemal = p[8]
    masked = " ".join(w[:2] + "*****" for w in p[9].split())
    txs = [
        inc("GELEN FAST - %s - %s" % (tr_title(p[0]), note()), p[0]),
        inc("GELEN FAST - %s -" % p[1], p[1], amount=750000),
        inc("GELEN EFT - %s - fatura %d" % (co, rng.randint(1000, 9999)), co),
        out("NEMA  FON SATIŞ - YFBL1 - PAY ADEDİ: 512 FİYAT: 1.304417", 66786),
        inc("GELEN HAVALE -%s -%s" % (p[2], note()), p[2]),
        out("GİDEN FAST - %s" % tr_title(kemal), -1850000),
        out("ELEKTRONİK FON TRANSFERİ (EFT) ÜCRETİ-FAST/%s/Borç" % tr_title(kemal)[:15], -671, follow=True),
        out("BSMV ELEKTRONİK FON TRANSFERİ (EFT) ÜCRETİ-FAST/%s/Borç" % tr_title(kemal)[:15], -34, follow=True),
        inc("GELEN FAST - %s - GİDEN FAST - %s  TARAFINDAN GÖNDERİLEN" % (p[3], p[3]), p[3]),
        out("GELEN EFT - Adalet Bak.OD.HES2025%s/%s S.GN.EMR - Talimat No: %s"
            % (rng.choice(["0617", "0903", "1002"]), digits(9), digits(9)), 1245000),
        inc("GELEN FAST - %s - TCKN %s %s" % (p[4], tc, note()), p[4], tc),
        inc("GELEN FAST - %s - %s nişan takısı" % (p[5], tr_lower(other)), p[5]),
        out("GIDEN HAVALE -%s / %s -%s" % (masked, p[9], "hurda alımı"), -3275000),
        out("GELEN HAVALE -%s -%s" % (holder, holder), 2000000),
        out("INT %s %s %s" % (card_masked(1), digits(4), digits(4)), -129999),
        inc("GELEN EFT - %s - proforma 2025/%d" % (long_co[:50], rng.randint(10, 99)), long_co[:50],
            amount=12500000),
        out("VADELİ MEVDUAT ANAPARA DÖNÜŞ", 10000000),
        inc("GELEN FAST - %s - %s %s" % (p[6], note(), holder), p[6]),
        out("%s NOLU YKY YATIRIM HESABINDAN AKTARILAN" % digits(7), 1500000),
        inc("GELEN HAVALE -%s -" % tr_lower(p[7]), p[7], amount=3000000),
        out("FAIZ TAHAKKUKU    %s    TL" % acct, 1423),
        inc("GELEN FAST - %s - %s" % (p[10], note()), p[10]),
    ]
    schedule(txs, 2025, 10, night=True)
    ref = None
    for t in txs:
        if not t.follow:
            ref = digits(12)
        t.extra["ref"] = ref
    expect(fname, txs)

    import xlwt
    wb = xlwt.Workbook(encoding="utf-8")
    ws = wb.add_sheet("Hesap Hareketleri")
    bold = xlwt.easyxf("font: bold on")
    money = xlwt.easyxf(num_format_str="#,##0.00")
    ws.write(0, 0, "Hesap Hareketleri", bold)
    meta = [("Müşteri Adı Soyadı", holder), ("Müşteri Numarası", digits(8)),
            ("Şube", "%s-KADIKÖY ŞUBESİ" % digits(3)), ("Hesap Adı", "VADESİZ TL HESABI"),
            ("IBAN/Hesap No", own_iban), ("Kullanılabilir Bakiye", tr_num(txs[-1].balance) + " TL"),
            ("Tarih Aralığı", "01/10/2025 - 31/10/2025")]
    for i, (k, v) in enumerate(meta):
        ws.write(2 + i, 0, k, bold)
        ws.write(2 + i, 1, ":")
        ws.write(2 + i, 2, v)
    header = ["Tarih", "Saat", "İşlem", "Kanal", "Referans No", "Açıklama", "İşlem Tutarı", "Bakiye", "Döviz Cinsi"]
    for c, h in enumerate(header):
        ws.write(10, c, h, bold)
    for c, v in enumerate(["-", "-", "-", "-", "-", "BLOKE BAKİYESİ", 8450.0, "-", "TL"]):
        ws.write(11, c, v)
    r = 12
    for t in txs:
        d = t.desc
        if d.startswith(("GELEN", "GİDEN", "GIDEN")) or "ÜCRETİ" in d:
            kind = "Para Transferleri"
        elif "FON" in d:
            kind = "Yatırım Fonu"
        elif "VADELİ" in d:
            kind = "Vadeli Mevduat"
        elif d.startswith("INT"):
            kind = "Ödeme"
        else:
            kind = "Diğer"
        ws.write(r, 0, t.when.strftime("%d/%m/%Y"))
        ws.write(r, 1, t.when.strftime("%H:%M:%S") if kind == "Para Transferleri" else " ")
        ws.write(r, 2, kind)
        ws.write(r, 3, "Internet - Mobil" if d.startswith("GİDEN") or rng.random() < 0.3 else "Diğer")
        ws.write(r, 4, t.extra["ref"])
        ws.write(r, 5, d)
        ws.write(r, 6, num(t.amount) * 1.0, money)
        ws.write(r, 7, num(t.balance) * 1.0, money)
        ws.write(r, 8, "TL" if rng.random() < 0.8 else "")
        r += 1
    r += 1
    for i, text in enumerate(LEGAL * 3):
        ws.write(r + i, 0, "%d. %s" % (i + 1, text * 2))
    ws.col(5).width = 256 * 70
    wb.save(path(fname))
    return fname


# =============================================================================================
# 4. Türkiye İş Bankası, XLS converted by LibreOffice from a ';' text (header on row 16)

def isbank_rows():
    holder = company("KUYUMCULUK", "TİC. A.Ş.")
    p = [person() for _ in range(10)]
    co = company("İNŞAAT")
    audit = company("DANIŞMANLIK", "LTD. ŞTİ.")
    vk, vk_other, tc = vkn(), vkn(), tckn()

    def fast(name, bank, text, kind="FAST"):
        return "%s*%s*%s*%s*%s" % (name, bank, text, fake10(), kind)

    txs = [
        inc(fast(p[0], "0111", note()), p[0], kind=("EF", "FAST")),
        inc(fast(co, "0062", "VKN %s FATURA %d" % (vk, rng.randint(1000, 9999)), "EFT"), co, vk, kind=("E9", "EFT")),
        inc("%s*%s" % (note(), p[1]), p[1], kind=("HV", "Havale")),
        out("%s*%s" % ("tezgah kirası", p[2]), -3000000, kind=("HV", "Havale")),
        out(fast(p[3], "0046", "iade"), -4200000, kind=("EF", "FAST")),
        out("FAST ÜCRETİ", -1052, follow=True, kind=("UC", "Ücret")),
        out("BSMV", -53, follow=True, kind=("UC", "Ücret")),
        out("%s*%s*VAKIFBANK*0047316" % (holder, iban("0015")), 7500000, kind=("E9", "EFT")),
        inc(fast(fold(p[4]), "0046", "kolye"), p[4], kind=("EF", "FAST")),
        out("%s-Bağımsız Denetim Hizmeti*%s" % (vk_other, audit), -2400000, kind=("HV", "Havale")),
        inc("POS SATIŞ BLOKE ÇÖZÜM*İŞYERİ NO:%s" % fake10("9"), "", kind=("PS", "Para Transferi")),
        out("İŞ PORTFÖY   FON ALIŞ", -5000000, kind=("YF", "Yatırım")),
        inc(fast(p[5], "0010", "TC:%s %s" % (tc, note())), p[5], tc, kind=("EF", "FAST")),
        inc("%s*%s" % (note(), p[6]), p[6], kind=("HV", "Havale")),
        out("HESAP İŞLETİM ÜCRETİ", -7500, kind=("UC", "Ücret")),
        inc(fast(p[7], "0015", "ödeme"), p[7], amount=1575000, kind=("EF", "FAST")),
        inc("POS SATIŞ BLOKE ÇÖZÜM*İŞYERİ NO:%s" % fake10("9"), "", kind=("PS", "Para Transferi")),
        inc(fast(p[8], "0205", note()), p[8], kind=("EF", "FAST")),
    ]
    schedule(txs, 2025, 11, night=True)
    return holder, txs


def isbank_csv(fname):
    holder, txs = isbank_rows()
    expect(fname, txs)
    lines = [["TÜRKİYE İŞ BANKASI A.Ş."], ["Hesap Hareketleri"], [],
             ["Müşteri Adı", holder], ["Müşteri No", digits(9)], ["Şube", "1042 - SULTANHAMAM"],
             ["Hesap No", "1042 - %s" % digits(7)], ["IBAN", iban("0064")], ["Hesap Türü", "Vadesiz TL"],
             ["Başlangıç Tarihi", "01/11/2025"], ["Bitiş Tarihi", "30/11/2025"],
             ["Bakiye", tr_num(txs[-1].balance)], ["Kullanılabilir Bakiye", tr_num(txs[-1].balance)], [],
             ["* İşlem Tutarı sütununda eksi (-) işaretli tutarlar hesabınızdan yapılan çıkışları gösterir."],
             ["Tarih/Saat", "Valör", "Kanal/Şube", "İşlem Tutarı*", "Bakiye", "İşlem", "İşlem Tipi", "Açıklama",
              "Referans"]]
    assert len(lines) == 16
    for t in txs:
        code, kind = t.extra["kind"]
        chan = "İşCep" if kind in ("FAST", "Havale", "EFT") and rng.random() < 0.6 else "Sistem"
        lines.append([t.when.strftime("%d/%m/%Y-%H:%M:%S"), t.when.strftime("%d/%m/%Y"), chan,
                      "%.2f" % (t.amount / 100), "%.2f" % (t.balance / 100), code, kind, t.desc,
                      "%s%s" % (t.when.strftime("%Y%m%d"), digits(10))])
    lines += [[], ["Toplam Giriş", "%.2f" % (sum(t.amount for t in txs if t.amount > 0) / 100)],
              ["Toplam Çıkış", "%.2f" % (sum(t.amount for t in txs if t.amount < 0) / 100)]]
    return lines


# =============================================================================================
# 5. Halkbank, XLSX converted by LibreOffice from a ';' text; separate Borç and Alacak columns

def halkbank_csv(fname):
    holder = person("M")
    p = [person() for _ in range(12)]
    co = company("KUYUMCULUK", "SAN. VE TİC. LTD. ŞTİ.")
    long_co = "GÖKKUŞAĞI ELEKTRONİK BİLGİSAYAR DONANIM İTHALAT İHRACAT SANAYİ VE TİCARET A.Ş."
    _used.add(long_co)
    vk, tc = vkn(), tckn()
    txs = [
        inc("GELEN FAST/%s/0064/%s/Sorgu No:%s" % (p[0], note(), fake10()), p[0]),
        inc("GELEN EFT/%s/0067/VKN:%s fatura" % (co, vk), co, vk),
        out("OTOMATİK ÖDEME %s TTNET ADSL" % fake10("9"), -54990),
        inc("HAVALE GELEN/%s/%s" % (p[1], note()), p[1]),
        inc("ÜYE İŞYERİ POS ALACAK/İŞYERİ NO:%s/%d İŞLEM" % (fake10("5"), rng.randint(2, 9)), ""),
        out("SGK-%s / %s /" % ("2" + digits(25, "0123456789"), holder), -1123450),
        out("TALİMATLI HAVALE/Talimat No: %s/%s/kira" % (digits(9), p[2]), -4000000),
        inc("GELEN FAST/%s/0010/TCKN %s %s/Sorgu No:%s" % (p[3], tc, note(), fake10()), p[3], tc),
        out("KREDİ YURTLAR KURUMU ÖĞRENİM BURSU %s KASIM 2025" % fake11(), 300000),
        inc("GELEN FAST/%s/0205/ %s/Sorgu No:%s" % (long_co[:50], "sipariş", fake10()), long_co[:50],
            amount=6400000),
        out("GİDEN EFT/%s/0062/hurda altın" % p[4], -8900000),
        out("EFT ÜCRETİ", -1052, follow=True),
        out("BSMV", -53, follow=True),
        inc("HAVALE GELEN/%s/%s" % (tr_title(p[5]), "bilezik"), p[5], amount=4100000),
        inc("ÜYE İŞYERİ POS ALACAK/İŞYERİ NO:%s/%d İŞLEM" % (fake10("5"), rng.randint(2, 9)), ""),
        inc("GELEN FAST/%s/0157/%s/Sorgu No:%s" % (p[6], note(), fake10()), p[6]),
    ]
    schedule(txs, 2025, 11)
    fis = None
    for t in txs:
        if not t.follow:
            fis = digits(6)
        t.extra["fis"] = fis
    expect(fname, txs)
    lines = [["T. HALK BANKASI A.Ş."], ["HESAP EKSTRESİ"], [], ["Müşteri", holder],
             ["Şube", "0923 - KUYUMCUKENT/İSTANBUL"], ["Hesap No", "0923 - %s" % digits(8)],
             ["IBAN", iban("0012")], ["Dönem", "01.11.2025 - 30.11.2025"],
             ["Devir Bakiye", "%.2f" % ((txs[0].balance - txs[0].amount) / 100)], [],
             ["İşlem Tarihi", "Valör", "Fiş No", "Açıklama", "Borç", "Alacak", "Bakiye"]]
    for t in reversed(txs):     # newest first
        lines.append([t.when.strftime("%d.%m.%Y"), t.when.strftime("%d.%m.%Y"), t.extra["fis"], t.desc,
                      "%.2f" % (-t.amount / 100) if t.amount < 0 else "",
                      "%.2f" % (t.amount / 100) if t.amount > 0 else "", "%.2f" % (t.balance / 100)])
    lines += [[], ["", "", "", "Toplam", "%.2f" % (-sum(t.amount for t in txs if t.amount < 0) / 100),
                   "%.2f" % (sum(t.amount for t in txs if t.amount > 0) / 100)],
              ["Son Bakiye", "%.2f" % (txs[-1].balance / 100)]]
    return lines


def soffice(jobs):
    """jobs: list of (csv lines, column formats, target file name, filter); one LibreOffice run per filter."""
    if "--no-soffice" in sys.argv:
        return
    tmp = tempfile.mkdtemp(prefix="stmt_lo_")
    try:
        for lines, colfmt, fname, target in jobs:
            src = os.path.join(tmp, os.path.splitext(fname)[0] + ".csv")
            with open(src, "w", encoding="utf-8", newline="") as f:
                csv.writer(f, delimiter=";", lineterminator="\n").writerows(lines)
            fmt = "/".join("%d/%d" % (i + 1, c) for i, c in enumerate(colfmt))
            subprocess.run(["soffice", "--headless", "--norestore",
                            "-env:UserInstallation=file://%s/profile" % tmp,
                            "--infilter=CSV:59,34,76,1,%s,1033" % fmt,
                            "--convert-to", target, "--outdir", tmp, src],
                           check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
            produced = os.path.join(tmp, os.path.splitext(fname)[0] + "." + target.split(":")[0])
            shutil.move(produced, path(fname))
    finally:
        shutil.rmtree(tmp, ignore_errors=True)


# =============================================================================================
# 6. Garanti BBVA, tab-separated text in UTF-16LE with a byte-order mark

def garanti():
    fname = "garanti_bbva_hesap_hareketleri.txt"
    holder = person("F")
    p = [person() for _ in range(11)]
    co = company("GIDA", "TİC. A.Ş.")
    vk, tc = vkn(), tckn()
    cut_person = "TUĞBA " + rng.choice([s for s in SURNAMES if len(s) >= 7])
    _used.add(cut_person)
    shown_cut = cut_person[:-1]
    txs = [
        inc("%s-FAST-%s" % (p[0], note()), p[0], etiket="Para Transferi"),
        inc("%s-EFT-VKN:%s %s" % (co, vk, "fatura"), co, vk, etiket="Para Transferi"),
        out("FATURA-%s-İGDAŞ" % fake10("1"), -61780, etiket="Fatura"),
        inc("%s-MOBIL-%s" % (p[1], note()), p[1], etiket="Para Transferi"),
        inc("POS SATIŞ ALACAĞI-ÜİY NO:%s" % fake10("9"), "", etiket="Kartlı İşlem"),
        out("%s-FAST-%s" % (p[2], "kira"), -2250000, etiket="Para Transferi"),
        out("FAST ÜCRETİ", -671, follow=True, etiket="Ücret"),
        out("BSMV", -34, follow=True, etiket="Ücret"),
        inc("CEP ŞUBE-HVL- -%s" % shown_cut, shown_cut, amount=1800000, etiket="Para Transferi"),
        inc("%s-FAST-TC %s %s" % (p[3], tc, note()), p[3], tc, etiket="Para Transferi"),
        out("BONUS KART ÖDEMESİ %s" % card_masked(0), -1265000, etiket="Kredi Kartı"),
        inc("%s-FAST-" % p[4], p[4], amount=900000, etiket="Para Transferi"),
        out("HESAP İŞLETİM ÜCRETİ", -9500, etiket="Ücret"),
        inc("%s-MOBIL-%s" % (tr_lower(p[5]), note()), p[5], etiket="Para Transferi"),
        inc("POS SATIŞ ALACAĞI-ÜİY NO:%s" % fake10("9"), "", etiket="Kartlı İşlem"),
    ]
    schedule(txs, 2025, 10)
    dek = None
    for t in txs:
        if not t.follow:
            dek = digits(10)
        t.extra["dek"] = dek
    expect(fname, txs)
    tl = lambda k: tr_num(k) + " TL"
    lines = [["Türkiye Garanti Bankası A.Ş."], ["Hesap Hareketleri"], [],
             ["Müşteri Adı Soyadı", holder], ["IBAN", iban("0062")], ["Hesap Türü", "Vadesiz TL"],
             ["Tarih Aralığı", "01/10/2025 - 31/10/2025"], ["Kullanılabilir Bakiye", tl(txs[-1].balance)], [],
             ["Tarih", "Açıklama", "Etiket", "Tutar", "Bakiye", "Dekont No"]]
    for t in reversed(txs):
        lines.append([t.when.strftime("%d/%m/%Y"), t.desc, t.extra["etiket"], tl(t.amount), tl(t.balance),
                      t.extra["dek"]])
    lines += [[], ["Toplam Alacak", tl(sum(t.amount for t in txs if t.amount > 0))],
              ["Toplam Borç", tl(sum(t.amount for t in txs if t.amount < 0))]]
    text = "".join("\t".join(l) + "\r\n" for l in lines)
    with open(path(fname), "wb") as f:
        f.write(b"\xff\xfe" + text.encode("utf-16-le"))
    return fname


# =============================================================================================
# 7. VakıfBank POS report, ';'-separated windows-1254 text

POS_HEADER = ("Zincir No;İşyeri No;İşyeri Adı;İşlem Tarihi;İşlem Saati;Terminal No;Batch No;Kart No;"
              "Kart Tipi;Kart Markası;İşlem Tipi;Taksit Sayısı;Provizyon Kodu;Referans No;"
              "Hesaba Geçiş Tarihi;Brüt Tutar;Komisyon;VakıfPara;Net Tutar;Döviz Kodu;Orijinal Tutar;"
              "Orijinal Komisyon;Orijinal Net Tutar;Komisyon Oranı;Ek Komisyon;Ödül Tutarı;Kampanya Kodu;"
              "Kampanya Adı;Taksit No;Taksit Tutarı;Bloke Durumu;Bloke Çözüm Tarihi;POS Tipi;Kanal;"
              "Yabancı Kart;Banka Kodu;Açıklama;Kayıt Durumu").split(";")
assert len(POS_HEADER) == 38


def vakif_pos():
    fname = "vakifbank_pos_islemleri.csv"
    chain, merchant, terminal = digits(9), fake10("0"), "VB" + digits(6)
    shop = "%s KUYUMCULUK" % rng.choice(SURNAMES)
    txs = []
    for i in range(14):
        kind = "IAD" if i == 9 else ("TKS" if i in (3, 7, 11) else "PSF")
        amount = rng.randint(80000, 4500000) if kind != "IAD" else -rng.randint(50000, 300000)
        t = inc("", "", amount=amount) if kind != "IAD" else out("", amount)
        t.extra.update(kind=kind, inst=rng.choice([3, 6]) if kind == "TKS" else 1)
        txs.append(t)
    schedule(txs, 2025, 10, 1, 20)
    expect(fname, txs)
    z = lambda k: ("+" if k >= 0 else "-") + "%020.2f" % (abs(k) / 100)
    plain = lambda k: ("%.2f" % (k / 100)).rstrip("0").rstrip(".")
    lines = ["%s@example.com.tr;Türkiye Vakıflar Bankası T.A.O. Üye İşyeri Hizmetleri - Bu rapor bilgi amaçlıdır;"
             % fold(shop.split()[0]).lower(),
             "TKS: Taksitli Satış, PSF: Peşin Satış, IAD: İade, IPT: İptal, ÖDL: Ödül Kullanımı;",
             ";".join(POS_HEADER) + ";", ""]
    for t in txs:
        rate = 0.0189 if t.extra["kind"] != "TKS" else 0.0329
        comm = int(round(abs(t.amount) * rate)) * (1 if t.amount > 0 else -1)
        net = t.amount - comm
        settle = t.when + dt.timedelta(days=1 if t.extra["kind"] == "PSF" else 30)
        card = card_masked(rng.choice([1, 2]))
        row = [chain, merchant, shop, t.when.strftime("%d/%m/%Y"), t.when.strftime("%H:%M:%S"), terminal,
               str(rng.randint(100, 140)), card, rng.choice(["Kredi", "Banka", "Kredi"]),
               rng.choice(["Visa", "MasterCard", "Troy"]), t.extra["kind"], str(t.extra["inst"]),
               digits(6), digits(12), settle.strftime("%d/%m/%Y"), z(t.amount), z(comm), z(0), z(net), "TL",
               plain(t.amount), plain(comm), plain(net), "%.2f" % (rate * 100), z(0), z(0), "", "",
               "1" if t.extra["kind"] == "TKS" else "", z(t.amount // t.extra["inst"]) if t.extra["kind"] == "TKS"
               else "", "Blokeli" if t.extra["kind"] == "TKS" else "Blokesiz",
               settle.strftime("%d/%m/%Y") if t.extra["kind"] == "TKS" else "", "Fiziki POS", "POS",
               "H", "0015", "İade işlemi" if t.extra["kind"] == "IAD" else "", "Geçerli"]
        assert len(row) == 38
        lines.append(";".join(row) + ";")
    data = "\r\n".join(lines) + "\r\n"
    with open(path(fname), "wb") as f:
        f.write(data.encode("cp1254"))
    return fname


# =============================================================================================
# 8. Kuveyt Türk, HTML account statement (UTF-8)

def kuveyt_html():
    fname = "kuveytturk_hesap_ekstresi.html"
    holder = company("KUYUMCULUK", "LTD. ŞTİ.")
    p = [person() for _ in range(10)]
    co = company("MOBİLYA", "SAN. TİC. A.Ş.")
    vk, tc = vkn(), tckn()
    phone = "53" + digits(8, "0123456789")
    txs = [
        inc("Gelen FAST - %s - 0010-%s - %s" % (p[0], BANKS["0010"], note()), p[0]),
        inc("Gelen EFT - %s - VKN: %s - 0062-%s" % (co, vk, BANKS["0062"]), co, vk),
        inc("Hesaba Havale - %s - %s" % (p[1], note()), p[1]),
        out("Giden FAST - %s - 0046-%s - kira" % (p[2], BANKS["0046"]), -2600000),
        out("FAST İşlem Ücreti", -671, follow=True),
        out("BSMV", -34, follow=True),
        out("Kâr Payı Ödemesi - Altın Katılma Hesabı", 48233),
        inc("POS Satış Tutarı - İşyeri No: %s" % fake10("9"), ""),
        out("Fatura Ödemesi - TURKCELL - %s%s" % (phone, phone), -49900),
        inc("Gelen FAST - %s - 0064-%s - TC:%s %s" % (p[3], BANKS["0064"], tc, note()), p[3], tc),
        inc("Gelen FAST - %s - 0067-%s" % (fold(p[4]), BANKS["0067"]), p[4], amount=2200000),
        out("Kredi Kartı Ödemesi - %s" % card_masked(0), -780000),
        inc("POS Satış Tutarı - İşyeri No: %s" % fake10("9"), ""),
        inc("Hesaba Havale - %s - %s" % (tr_title(p[5]), "kalan borç"), p[5]),
    ]
    schedule(txs, 2025, 11)
    for t in txs:
        t.extra["dek"] = digits(11)
    expect(fname, txs)
    esc = lambda s: s.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
    rows = []
    for t in reversed(txs):
        desc = esc(t.desc)
        if len(desc) > 60 and " - " in desc:
            head, tail = desc.rsplit(" - ", 1)
            desc = "%s -<br>%s" % (head, tail)
        chan = "Mobil" if "FAST" in t.desc or "Havale" in t.desc else ("POS" if "POS" in t.desc else "Sistem")
        rows.append('<tr class="%s"><td>%s</td><td>%s</td><td class="num">%s</td><td class="num">%s</td>'
                    '<td>%s</td><td>%s</td></tr>'
                    % ("alt" if len(rows) % 2 else "row", t.when.strftime("%d.%m.%Y %H:%M"), desc,
                       tr_num(t.amount, plus=True), tr_num(t.balance), chan, t.extra["dek"]))
    html = """<!DOCTYPE html>
<html lang="tr">
<head>
<meta charset="utf-8">
<title>Hesap Ekstresi - Kuveyt Türk</title>
<style>
body {{ font-family: Arial, sans-serif; font-size: 12px; }}
table.list {{ border-collapse: collapse; width: 100%; }}
table.list td, table.list th {{ border: 1px solid #ccc; padding: 3px 5px; }}
td.num {{ text-align: right; white-space: nowrap; }}
tr.alt {{ background: #f4f8f4; }}
</style>
</head>
<body>
<table class="layout" width="100%"><tr>
<td><img src="data:image/gif;base64,R0lGODlhAQABAAAAACw=" alt="Kuveyt Türk"></td>
<td>
<table class="info">
<tr><td>Müşteri Unvanı</td><td>:</td><td>{holder}</td></tr>
<tr><td>Müşteri No</td><td>:</td><td>{custno}</td></tr>
<tr><td>Hesap</td><td>:</td><td>{branch} - Cari Hesap (TL)</td></tr>
<tr><td>IBAN</td><td>:</td><td>{iban}</td></tr>
<tr><td>Ekstre Dönemi</td><td>:</td><td>01.11.2025 - 30.11.2025</td></tr>
</table>
</td></tr></table>
<h3>Hesap Hareketleri</h3>
<table class="list">
<thead><tr><th>İşlem Tarihi</th><th>Açıklama</th><th>Tutar (TL)</th><th>Bakiye (TL)</th><th>Kanal</th><th>Dekont No</th></tr></thead>
<tbody>
{rows}
</tbody>
</table>
<table class="totals">
<tr><td>Dönem Başı Bakiye</td><td class="num">{opening}</td><td>Toplam Giriş</td><td class="num">{credit}</td></tr>
<tr><td>Dönem Sonu Bakiye</td><td class="num">{closing}</td><td>Toplam Çıkış</td><td class="num">{debit}</td></tr>
</table>
<p>Kuveyt Türk Katılım Bankası A.Ş. &middot; Bu ekstre bilgi amaçlıdır. &middot; www.kuveytturk.com.tr</p>
</body>
</html>
""".format(holder=esc(holder), custno=digits(8), branch="%s - Kapalıçarşı" % digits(3), iban=iban("0205"),
           rows="\n".join(rows), opening=tr_num(txs[0].balance - txs[0].amount), closing=tr_num(txs[-1].balance),
           credit=tr_num(sum(t.amount for t in txs if t.amount > 0)),
           debit=tr_num(sum(t.amount for t in txs if t.amount < 0)))
    with open(path(fname), "w", encoding="utf-8", newline="\n") as f:
        f.write(html)
    return fname


# =============================================================================================
# 9. Credit-card statement e-mail (HTML): totals only, no payment

def card_mail():
    fname = "garanti_bbva_kart_ekstresi_eposta.html"
    holder = person("M")
    debt = rng.randint(200000, 900000)
    html = """<html><head><meta http-equiv="Content-Type" content="text/html; charset=utf-8"></head>
<body style="font-family:Arial">
<table width="600" align="center" cellpadding="0" cellspacing="0">
<tr><td><b>Sayın {holder},</b></td></tr>
<tr><td>Bonus kartınızın {cut} tarihli hesap özeti hazırlanmıştır.</td></tr>
<tr><td>
<table width="100%" border="1" cellpadding="4">
<tr><th>Kart Numarası</th><th>Hesap Kesim Tarihi</th><th>Son Ödeme Tarihi</th><th>Dönem Borcu</th><th>Asgari Ödeme Tutarı</th></tr>
<tr><td>{card}</td><td>{cut}</td><td>{due}</td><td>{debt} TL</td><td>{minimum} TL</td></tr>
</table>
</td></tr>
<tr><td>Hesap Kesim Tarihi: {cut}</td></tr>
<tr><td>Son Ödeme Tarihi: {due}</td></tr>
<tr><td>Dönem Borcu :{debt}TL</td></tr>
<tr><td>Asgari Ödeme Tutarı :{minimum}TL</td></tr>
<tr><td>Kullanılabilir Limit: {limit} TL</td></tr>
<tr><td>Hesap özetinizin ayrıntısına Garanti BBVA Mobil ve İnternet Şubesi'nden ulaşabilirsiniz.</td></tr>
<tr><td><small>Bu e-posta bilgilendirme amaçlıdır; lütfen yanıtlamayınız.</small></td></tr>
</table></body></html>
""".format(holder=tr_title(holder), cut="14.10.2025", due="24.10.2025", card=card_masked(0),
           debt=us_num(debt), minimum=us_num(debt * 40 // 100), limit=us_num(rng.randint(10, 60) * 100000))
    with open(path(fname), "w", encoding="utf-8", newline="\n") as f:
        f.write(html)
    EXPECTED[fname] = []
    SOURCES[fname] = []
    return fname


# =============================================================================================
# PDFs (reportlab, DejaVu Sans for the Turkish letters)

FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
FONT_BOLD = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"


def pdf_canvas(fname, title):
    from reportlab.pdfgen import canvas
    from reportlab.lib.pagesizes import A4
    from reportlab.pdfbase import pdfmetrics
    from reportlab.pdfbase.ttfonts import TTFont
    if "DejaVu" not in pdfmetrics.getRegisteredFontNames():
        pdfmetrics.registerFont(TTFont("DejaVu", FONT))
        pdfmetrics.registerFont(TTFont("DejaVu-Bold", FONT_BOLD))
    c = canvas.Canvas(path(fname), pagesize=A4, invariant=1, pageCompression=1)
    c.setTitle(title)
    c.setAuthor("")
    return c, A4


def wrap(text, width):
    words, lines, cur = text.split(" "), [], ""
    for w in words:
        if cur and len(cur) + 1 + len(w) > width:
            lines.append(cur)
            cur = w
        else:
            cur = (cur + " " + w) if cur else w
    lines.append(cur)
    return lines


def draw_table(c, size, heading, columns, rows, per_page, footer):
    """heading(c, page) draws the page heading and returns the y of the table header; columns is a
    list of (title, x, align, wrap width); rows are lists of cell texts. Headers repeat on every page."""
    pages = [rows[i:i + per_page] for i in range(0, len(rows), per_page)]
    for n, chunk in enumerate(pages, 1):
        y = heading(c, n)
        c.setFont("DejaVu-Bold", 7.5)
        for title, x, align, _ in columns:
            if title:
                (c.drawRightString if align == "R" else c.drawString)(x, y, title)
        c.line(30, y - 3, size[0] - 30, y - 3)
        y -= 14
        c.setFont("DejaVu", 7.5)
        for cells in chunk:
            height = 1
            for (title, x, align, width), text in zip(columns, cells):
                parts = wrap(text, width) if width else [text]
                height = max(height, len(parts))
                for k, part in enumerate(parts):
                    (c.drawRightString if align == "R" else c.drawString)(x, y - 9 * k, part)
            y -= 9 * height + 5
        footer(c, n, len(pages), chunk is pages[-1], y)
        c.showPage()
    c.save()


def yapikredi_pdf():
    fname = "Hesap_Hareketleri_yapikredi_20251201_101522341.pdf"
    holder = person("M")
    acct = digits(8)
    own_iban = iban("0067", "10000000" + acct)
    p = [person() for _ in range(16)]
    co = company("KUYUMCULUK", "SAN. VE TİC. LTD. ŞTİ.")
    co2 = company("İNŞAAT", "TİC. A.Ş.")
    vk, tc, tc2 = vkn(), tckn(), tckn()
    txs = [
        inc("GELEN FAST - %s - ." % p[0], p[0], amount=750000),
        inc("GELEN FAST - %s - %s" % (tr_title(p[1]), note()), p[1]),
        inc("GELEN EFT - %s - VKN %s alış faturası" % (co, vk), co, vk),
        out("GİDEN FAST - %s" % tr_title(p[2]), -1200000),
        out("ELEKTRONİK FON TRANSFERİ (EFT) ÜCRETİ-FAST/%s/Borç" % tr_title(p[2])[:15], -671, follow=True),
        out("BSMV ELEKTRONİK FON TRANSFERİ (EFT) ÜCRETİ-FAST/%s/Borç" % tr_title(p[2])[:15], -34, follow=True),
        inc("GELEN HAVALE -%s -%s" % (p[3], note()), p[3]),
        inc("POS HESABA GEÇEN - ÜİY %s - GÜN SONU" % fake10("9"), ""),
        out("OTOMATİK ÖDEME - %s - CK BOĞAZİÇİ ELEKTRİK" % fake10("4"), -73215),
        inc("GELEN FAST - %s - TCKN %s %s" % (p[4], tc, note()), p[4], tc),
        inc("GELEN FAST - %s - %s ve %s için düğün takısı" % (p[5], tr_title(p[6]), tr_title(p[7])), p[5]),
        out("GIDEN HAVALE -%s / %s -tezgah kirası" % (" ".join(w[:2] + "*****" for w in p[8].split()), p[8]),
            -3500000),
        inc("GELEN EFT - %s - hakediş %s" % (co2, "Kasım"), co2, amount=25000000),
        out("NEMA  FON SATIŞ - YFBL1 - PAY ADEDİ: %d FİYAT: 1.3%05d" % (rng.randint(100, 900), rng.randint(0, 99999)),
            81250),
        inc("GELEN FAST - %s - %s" % (tr_lower(p[9]), "ödeme"), p[9]),
        inc("GELEN FAST - %s - GİDEN FAST - %s  TARAFINDAN GÖNDERİLEN" % (p[10], p[10]), p[10]),
        inc("POS HESABA GEÇEN - ÜİY %s - GÜN SONU" % fake10("9"), ""),
        out("INT %s %s %s" % (card_masked(1), digits(4), digits(4)), -245050),
        inc("GELEN HAVALE -%s -%s TC %s" % (p[11], note(), tc2), p[11], tc2),
        inc("GELEN FAST - %s - %s" % (p[12], note()), p[12]),
        out("FAIZ TAHAKKUKU    %s    TL" % acct, 2117),
        inc("GELEN FAST - %s - kalan %s" % (p[13], note()), p[13]),
    ]
    schedule(txs, 2025, 11, night=True)
    expect(fname, txs)
    c, size = pdf_canvas(fname, "Hesap Hareketleri")
    tl = lambda k: tr_num(k) + " TL"
    rows = []
    for t in txs:
        kind = "Para Gönder" if t.desc.startswith(("GİDEN", "GIDEN")) else (
            "Para Transferleri" if t.desc.startswith("GELEN") or "ÜCRETİ" in t.desc else "Diğer")
        rows.append([t.when.strftime("%d/%m/%Y %H:%M:%S"), kind,
                     "Internet - Mobil" if kind == "Para Gönder" else "Diğer", t.desc, tl(t.amount), tl(t.balance)])
    # Date and time share the first column; the column titles are drawn by the heading, close together.
    columns = [("", 32, "L", 0), ("", 114, "L", 0), ("", 182, "L", 0), ("", 250, "L", 38), ("", 490, "R", 0),
               ("", 563, "R", 0)]

    def heading(c, page):
        w, h = size
        c.setFont("DejaVu-Bold", 11)
        c.drawString(32, h - 40, "Yapı ve Kredi Bankası A.Ş.")
        c.setFont("DejaVu", 8)
        c.drawRightString(w - 32, h - 40, "Hesap Hareketleri")
        y = h - 62
        if page == 1:
            for k, v in (("Müşteri Adı Soyadı:", holder), ("IBAN/Hesap No:", own_iban),
                         ("Hesap Adı:", "VADESİZ TL"), ("Tarih Aralığı:", "01/11/2025 - 30/11/2025"),
                         ("Kullanılabilir Bakiye:", tl(txs[-1].balance))):
                c.drawString(32, y, k)
                c.drawString(130, y, v)
                y -= 11
            y -= 8
        c.setFont("DejaVu-Bold", 7.5)
        for title, x in (("Tarih", 32), ("Saat", 53), ("İşlem", 114), ("Kanal", 182), ("Açıklama", 250)):
            c.drawString(x, y, title)
        c.drawRightString(490, y, "İşlem Tutarı")
        c.drawRightString(563, y, "Bakiye")
        return y

    def footer(c, n, total, last, y):
        c.setFont("DejaVu", 6.5)
        if last:
            c.drawString(32, y - 10, "Toplam Alacak: %s   Toplam Borç: %s"
                         % (tl(sum(t.amount for t in txs if t.amount > 0)),
                            tl(sum(t.amount for t in txs if t.amount < 0))))
        c.drawString(32, 30, "Yapı ve Kredi Bankası A.Ş. · Bu belge bilgi amaçlıdır, hesap özeti yerine geçmez.")
        c.drawRightString(size[0] - 32, 30, "Sayfa %d / %d" % (n, total))

    draw_table(c, size, heading, columns, rows, 9, footer)
    return fname


def vakif_pdf():
    fname = "vakifbank_hesap_hareketleri.pdf"
    holder = company("KUYUMCULUK", "LTD. ŞTİ.")
    p = [person() for _ in range(12)]
    co = company("TEKSTİL", "SAN. VE TİC. LTD. ŞTİ.")
    vk, tc = vkn(), tckn()
    mno = fake10("9")
    txs = [
        inc("Gelen FAST Anlık Ödeme", p[0], extra_desc="%s - %s" % (p[0], tr_upper(note()))),
        inc("Gelen EFT Otomatik Yatan", co, vk, extra_desc="%s VKN:%s FATURA BEDELİ" % (co, vk)),
        inc("Batch Yatan", "", extra_desc="Üye İşyeri No: %s Batch No: %d" % (mno, rng.randint(200, 260))),
        out("Batch Komisyonu", -32754, follow=True, extra_desc="Üye İşyeri No: %s" % mno),
        inc("Tös Hesaba Havale", p[1], extra_desc="%s %s" % (p[1], note())),
        out("Giden FAST", -1650000, extra_desc="%s - kira" % p[2]),
        out("FAST Masrafı", -671, follow=True, extra_desc=""),
        out("BSMV", -34, follow=True, extra_desc=""),
        inc("Alınan havale", p[3], extra_desc=p[3]),
        out("Fatura Ödeme", -58730, extra_desc="%s CK Boğaziçi Elektrik" % fake10("4")),
        inc("Gelen FAST Anlık Ödeme", p[4], tc, extra_desc="%s - TC %s %s" % (p[4], tc, tr_upper(note()))),
        out("Kredi Kartı Ödemesi", -1540000, extra_desc=card_masked(0)),
        inc("Batch Yatan", "", extra_desc="Üye İşyeri No: %s Batch No: %d" % (mno, rng.randint(261, 299))),
        out("Batch Komisyonu", -41020, follow=True, extra_desc="Üye İşyeri No: %s" % mno),
        inc("Gelen FAST Anlık Ödeme", p[5], extra_desc="%s - " % tr_title(p[5])),
        out("Vadeli Hesaptan Aktarım", 5000000, extra_desc="%s Vadeli TL" % fake11()),
        inc("Gelen EFT Otomatik Yatan", p[6], extra_desc="%s %s 0046 AKBANK" % (p[6], tr_upper(note()))),
        inc("Gelen FAST Anlık Ödeme", p[7], extra_desc="%s - %s" % (p[7], tr_upper(note()))),
    ]
    for t in txs:
        t.kind, t.desc = t.desc, (t.desc + " " + t.extra["extra_desc"]).strip()
    schedule(txs, 2025, 12)
    expect(fname, txs)
    c, size = pdf_canvas(fname, "Hesap Hareketleri")
    sign = lambda k: ("+" if k > 0 else "- ") + tr_num(abs(k)) + " TL"
    rows = [[t.when.strftime("%d.%m.%Y"), t.when.strftime("%H:%M"), t.kind, t.extra["extra_desc"], sign(t.amount),
             tr_num(t.balance) + " TL"] for t in reversed(txs)]
    columns = [("Tarih", 32, "L", 0), ("Saat", 80, "L", 0), ("İşlem Adı", 106, "L", 0), ("Açıklama", 218, "L", 50),
               ("Tutar", 500, "R", 0), ("Bakiye", 563, "R", 0)]

    def heading(c, page):
        w, h = size
        c.setFont("DejaVu-Bold", 11)
        c.drawString(32, h - 40, "VakıfBank")
        c.setFont("DejaVu", 7)
        c.drawString(32, h - 50, "Türkiye Vakıflar Bankası T.A.O.")
        c.setFont("DejaVu-Bold", 10)
        c.drawRightString(w - 32, h - 40, "HESAP HAREKETLERİ")
        c.setFont("DejaVu", 8)
        y = h - 70
        for k, v in (("Müşteri Unvanı", holder), ("IBAN", iban_own), ("Şube", branch),
                     ("Dönem", "01.12.2025 - 31.12.2025"), ("Döviz Cinsi", "TRY")):
            c.drawString(32, y, k)
            c.drawString(110, y, ": " + v)
            y -= 11
        return y - 10

    def footer(c, n, total, last, y):
        c.setFont("DejaVu", 6.5)
        if last:
            c.drawString(32, y - 10, "Dönem Sonu Bakiye: %s TL" % tr_num(txs[-1].balance))
        c.drawString(32, 30, "www.vakifbank.com.tr · 0850 222 0 724")
        c.drawRightString(size[0] - 32, 30, "%d/%d" % (n, total))

    iban_own = iban("0015")
    branch = "S00%s KUYUMCUKENT" % digits(3)
    draw_table(c, size, heading, columns, rows, 10, footer)
    return fname


# =============================================================================================
# Self-check and main

def self_check():
    problems = []
    for fname, rows in EXPECTED.items():
        text = fold(" ".join(SOURCES[fname]))
        for d, k, name, ident in rows:
            if ident != "0" and not (tckn_ok(ident) if len(ident) == 11 else vkn_ok(ident)):
                problems.append("%s: identity %s fails its check" % (fname, ident))
            if ident != "0" and ident not in text:
                problems.append("%s: identity %s not in the statement" % (fname, ident))
            if name and name not in text:
                problems.append("%s: name %s not in the statement" % (fname, name))
            if k <= 0:
                problems.append("%s: amount %d" % (fname, k))
        # every other 10/11-digit run in the descriptions must be a look-alike that fails the checks
        idents = {r[3] for r in rows}
        for desc in SOURCES[fname]:
            cleaned = re.sub(r"TR[0-9]{24}", " ", desc)
            for run in re.findall(r"(?<![0-9])[0-9]{10,11}(?![0-9])", cleaned):
                if run in idents:
                    continue
                if (len(run) == 11 and tckn_ok(run)) or (len(run) == 10 and vkn_ok(run)):
                    if "Denetim" not in desc:       # the one deliberate VKN-valid number of another party
                        problems.append("%s: stray valid identity %s in %r" % (fname, run, desc))
    if problems:
        sys.exit("\n".join(problems))


def main():
    files = [ziraat(), akbank(), yapikredi_xls()]
    is_name, hb_name = "isbankasi_hesap_hareketleri.xls", "halkbank_hesap_ekstresi.xlsx"
    is_lines = isbank_csv(is_name)
    hb_lines = halkbank_csv(hb_name)
    # column formats: 1 standard (numbers recognised), 2 text
    soffice([(is_lines, [2, 2, 2, 1, 1, 2, 2, 2, 2], is_name, 'xls:MS Excel 97'),
             (hb_lines, [2, 2, 2, 2, 1, 1, 1], hb_name, 'xlsx:Calc MS Excel 2007 XML')])
    files += [is_name, hb_name, garanti(), vakif_pos(), kuveyt_html(), card_mail(), yapikredi_pdf(), vakif_pdf()]
    self_check()
    for f in files:
        write_expected(f)
    total = sum(len(EXPECTED[f]) for f in files)
    for f in files:
        print("%-55s %6d bytes %3d incoming" % (f, os.path.getsize(path(f)), len(EXPECTED[f])))
    print("total incoming payments: %d" % total)


if __name__ == "__main__":
    main()
