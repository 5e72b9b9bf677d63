"""The recordings of the corpus and what is said in each.

Real voices (Debian packages):
- ktuberling-data: single spoken words. The English files are named by the object; the
  French, Danish and a few other sound sets are named by the word in their own language, with
  the accents dropped (restored below). The other sound sets (German, Russian, ...) are named
  by the English object only and the package does not say which word was spoken, so they are
  left out. Exclamations ("je ris", "wouah") are left out too: their file name describes the
  sound rather than spelling it.
- asterisk-core-sounds-<lang> (-g722: 16 kHz wideband G.722): telephone prompts with their
  transcripts (core-sounds-<lang>.txt.gz in the package's documentation).
- klettres-data: English letter names and short words spoken alone.
- tuxpaint-stamps-default: each stamp's description ("A red kangaroo.") spoken in English and
  in several other languages, the text in the stamp's .txt (the first line English, then
  "<lang>.utf8=..." lines).

Synthetic voices: espeak-ng (see sentences.py).
"""

import glob
import gzip
import os
import re

KTUBERLING = "/usr/share/ktuberling/sounds"
ASTERISK = "/usr/share/asterisk/sounds"
ASTERISK_DOC = "/usr/share/doc/asterisk-core-sounds-%s/core-sounds-%s.txt.gz"
KLETTRES = "/usr/share/klettres"
TUXPAINT = "/usr/share/tuxpaint/stamps"

# The directory of each asterisk language (one speaker each) and the espeak-ng voice that
# speaks its transcripts for the alignment.
ASTERISK_LANGS = {
    "en": ("en_US_f_Allison", "Allison", None),
    "fr": ("fr_CA_f_June", "June", "fr"),
    "es": ("es_MX_f_Allison", "Allison", "es-419"),
    "it": ("it_IT_m_Carlo", "Carlo", "it"),
    "ru": ("ru_RU_f_IvrvoiceRU", "IvrvoiceRU", "ru"),
}

_THEME_PREFIX = re.compile(r"^(egypte?|moon|lune|pizzeria|pizza|tv|noel|papillons|patate|patata|"
                           r"robot|robin)_")

# English: a name that is not the spoken text.
_EN_WORDS = {"palmtree": "palm tree", "fallingstar": "falling star", "moonwalker": "moon walker",
             "broccolli": "broccoli", "sphynx": "sphinx", "ufo": "U F O"}

# Words as spoken, keyed by the file name without theme prefix; "" leaves the file out.
_FR_WORDS = {
    "ane": "âne", "charette": "charrette", "garcon": "garçon", "etoile": "étoile",
    "etoile-filante": "étoile filante", "fusee": "fusée", "hotel": "hôtel",
    "planete": "planète", "comete": "comète", "boule-de-noel": "boule de Noël",
    "Tux-la-sorciere": "Tux la sorcière", "Tux-le-frere": "Tux le frère", "fleche": "flèche",
    "fleches": "flèches", "cle": "clé", "baton": "bâton",
    "chandelles-allumees": "chandelles allumées", "tete": "tête", "barriere": "barrière",
    "camion-de-depannage": "camion de dépannage", "cloture": "clôture", "echelle": "échelle",
    "ecole": "école", "elephant": "éléphant", "fumee": "fumée", "mecanicien": "mécanicien",
    "pecheur": "pêcheur", "oeil": "œil", "noeud-papillon": "nœud papillon", "coeur": "cœur",
    "Tux-l-enfant": "Tux l'enfant", "Tux-le-sheriff": "Tux le shérif",
    "avis-recherche": "", "heu": "", "wouah": "", "je-ris": "", "je-dors": "",
    "je-me-fache": "", "je-suis-malade": "", "j-examine": "", "j-aime": "",
    "j-ai-une-idee": "", "quoi": "", "tir": "",
}
_DA_WORDS = {
    "aesel": "æsel", "broend": "brønd", "graes": "græs", "soejle": "søjle", "haar": "hår",
    "maanefartoej": "månefartøj", "rumvaesen": "rumvæsen", "naese": "næse", "oeje": "øje",
    "oejenbryn": "øjenbryn", "oere": "øre", "oerering": "ørering", "overskaeg": "overskæg",
    "loeg": "løg", "sloejfe": "sløjfe",
}
# Danish files named by the English object (tv_fire, xmas_star, tux-...) are left out: only
# these Danish names are taken.
_DA_NATIVE = set("""blomst bold briller aesel bro broend bue dreng fugle graes kamel kvinde mand
oase palme pige pyramide sfinx soejle vej vogn frakke haar hat astronaut hotel jorden
maanefartoej planet radar raket rumvaesen satellit skilt stjerne stjerneskud uhyre mund naese
nederdel oeje oejenbryn oere oerering overskaeg paraply agurk ananas ansjos bacon broccoli
champignon loeg oliven oregano ost pebber pebberoni salami tomat sko slips sloejfe solbriller
stok bil cykel cyklist tog""".split())
_SMALL = {
    "es": {"gafasdesol": "gafas de sol"},
    "it": {"occhialidasole": "occhiali da sole"},
    "pt": {"chapeu": "chapéu", "laco": "laço", "oculos": "óculos", "oculos-de-sol": "óculos de sol"},
    "fi": {"nena": "nenä", "silma": "silmä", "silmalasit": "silmälasit"},
    "sv": {"glasogon": "glasögon", "har": "hår", "nasa": "näsa", "oga": "öga",
           "ogonbryn": "ögonbryn", "ora": "öra", "orhange": "örhänge",
           "solglasogon": "solglasögon"},
    "ro": {"cravata": "cravată", "gura": "gură", "mustata": "mustață",
           "ochelari-de-soare": "ochelari de soare", "palarie": "pălărie", "par": "păr",
           "sprinceana": "sprânceană"},
    "nl": {},
    "ca": {"basto": "bastó", "corbati": "corbatí", "ulleresdesol": "ulleres de sol"},
}
KTUBERLING_VOICES = {"en": None, "fr": "fr", "da": "da", "es": "es", "it": "it", "pt": "pt",
                     "fi": "fi", "sv": "sv", "ro": "ro", "nl": "nl", "ca": "ca"}


def _item(source, lang, speaker, path, transcript, voice, raw_format=None, rid=None):
    return {"id": rid, "source": source, "lang": lang, "speaker": speaker, "path": path,
            "raw_format": raw_format, "transcript": transcript, "voice": voice}


def ktuberling(lang):
    d = os.path.join(KTUBERLING, lang)
    items = []
    for path in sorted(glob.glob(os.path.join(d, "*"))):
        name = os.path.splitext(os.path.basename(path))[0]
        word = _THEME_PREFIX.sub("", name)
        if lang == "en":
            text = _EN_WORDS.get(word, word.replace("_", " ").replace("-", " "))
        elif lang == "fr":
            text = _FR_WORDS.get(word, re.sub(r"\b([dlj])-", r"\1'", word).replace("-", " "))
        elif lang == "da":
            if word not in _DA_NATIVE:
                continue
            text = _DA_WORDS.get(word, word)
        elif lang == "ca":
            if not name.startswith("patata_"):
                continue
            text = _SMALL["ca"].get(word, word)
        else:
            text = _SMALL[lang].get(word, word.replace("-", " "))
        if not text or ("tux" in name.lower() and lang not in ("en", "fr")):
            continue
        items.append(_item("ktuberling-" + lang, lang, "ktuberling-" + lang, path, text,
                           KTUBERLING_VOICES[lang], rid="ktuberling-%s/%s" % (lang, name)))
    return items


def asterisk_transcripts(lang):
    out = {}
    with gzip.open(ASTERISK_DOC % (lang, lang), "rt", encoding="utf-8-sig") as f:
        for line in f:
            if line.startswith(";") or ":" not in line:
                continue
            key, text = line.split(":", 1)
            text = re.sub(r"\[[^\]]*\]", " ", text).strip()
            # Notes in parentheses say how it is spoken, not what.
            text = re.sub(r"\([^)]*\)", " ", text)
            text = re.sub(r"\s+", " ", text).strip()
            if key.strip() and re.search(r"\w", text):
                out[key.strip()] = text
    return out


def asterisk(lang):
    sub, speaker, voice = ASTERISK_LANGS[lang]
    base = os.path.join(ASTERISK, sub)
    items = []
    for key, text in sorted(asterisk_transcripts(lang).items()):
        path = os.path.join(base, key + ".g722")
        if not os.path.exists(path):
            continue
        items.append(_item("asterisk-" + lang, lang, speaker, path, text, voice, "g722",
                           rid="asterisk-%s/%s" % (lang, key)))
    return items


# klettres' English syllables that spell a word (the others, "ch", "th", "aw", are sounds).
_KLETTRES_WORDS = set("car dog fix gas gem hot jet key me my no pet saw say sit sky".split())


def klettres(lang="en"):
    d = os.path.join(KLETTRES, lang)
    items = []
    for path in sorted(glob.glob(os.path.join(d, "alpha", "*.ogg"))):
        letter = os.path.splitext(os.path.basename(path))[0]
        if len(letter) == 1 and letter.isascii() and letter.isalpha():
            items.append(_item("klettres-" + lang, lang, "klettres-" + lang, path, letter.upper(),
                               None, rid="klettres-%s/alpha/%s" % (lang, letter)))
    for path in sorted(glob.glob(os.path.join(d, "syllab", "*.ogg"))):
        word = os.path.splitext(os.path.basename(path))[0]
        if word in _KLETTRES_WORDS:
            items.append(_item("klettres-" + lang, lang, "klettres-" + lang, path, word, None,
                               rid="klettres-%s/syllab/%s" % (lang, word)))
    return items


# The languages spoken for most stamps, and the espeak-ng voice that aligns them.
TUXPAINT_VOICES = {"en": None, "fr": "fr", "ru": "ru", "ro": "ro", "ca": "ca", "bg": "bg",
                   "es": "es", "be": "be", "el": "el", "da": "da"}


def tuxpaint_text(txt, lang):
    with open(txt, encoding="utf-8", errors="replace") as f:
        lines = [line.strip() for line in f]
    if lang == "en":
        return lines[0] if lines else ""
    key = lang + ".utf8="
    return next((line[len(key):] for line in lines if line.startswith(key)), "")


def tuxpaint(lang):
    suffix = "_desc.ogg" if lang == "en" else "_desc_%s.ogg" % lang
    items = []
    for path in sorted(glob.glob(os.path.join(TUXPAINT, "**", "*" + suffix), recursive=True)):
        stem = path[: -len(suffix)]
        if not os.path.exists(stem + ".txt"):
            continue
        text = tuxpaint_text(stem + ".txt", lang)
        if not re.search(r"\w", text):
            continue
        name = os.path.relpath(stem, TUXPAINT)
        items.append(_item("tuxpaint-" + lang, lang, "tuxpaint-" + lang, path, text,
                           TUXPAINT_VOICES[lang], rid="tuxpaint-%s/%s" % (lang, name)))
    return items


REAL_SOURCES = (["ktuberling-" + l for l in KTUBERLING_VOICES]
                + ["asterisk-" + l for l in ASTERISK_LANGS] + ["klettres-en"]
                + ["tuxpaint-" + l for l in TUXPAINT_VOICES])


def real(source):
    kind, lang = source.split("-", 1)
    return {"ktuberling": ktuberling, "asterisk": asterisk, "klettres": klettres,
            "tuxpaint": tuxpaint}[kind](lang)


def available(source):
    """Whether the package behind a real source is installed."""
    kind, lang = source.split("-", 1)
    if kind == "ktuberling":
        return os.path.isdir(os.path.join(KTUBERLING, lang))
    if kind == "asterisk":
        return (os.path.isdir(os.path.join(ASTERISK, ASTERISK_LANGS[lang][0]))
                and os.path.exists(ASTERISK_DOC % (lang, lang)))
    if kind == "tuxpaint":
        return os.path.isdir(TUXPAINT)
    return os.path.isdir(os.path.join(KLETTRES, lang))
