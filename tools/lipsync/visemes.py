"""Phones to the 15 visemes: `sil PP FF TH DD kk CH SS nn RR aa E ih oh ou`.

English phones are ARPAbet (the CMU dictionary's set, stress digits dropped), mapped by the
fixed table below. Every other language comes from espeak-ng as IPA and goes through one
table of IPA symbols, built by place of articulation for consonants and by lip shape for
vowels, so that a sound lands in the class its English counterpart has:

| class | English (ARPAbet) | IPA (every language)                                          |
|-------|-------------------|---------------------------------------------------------------|
| sil   | sil               | pauses                                                        |
| PP    | p b m             | p b m, bilabial fricatives β ɸ (Spanish b/v between vowels:   |
|       |                   | the lips come together), pf (the lips close before the f)     |
| FF    | f v               | f v, labiodental ʋ ɱ                                          |
| TH    | th dh             | θ ð                                                           |
| DD    | t d               | t d, retroflex ʈ ɖ, palatal stops c ɟ (tongue front, lips    |
|       |                   | neutral); English ɾ and ʔ are allophones of t/d               |
| kk    | k g ng hh         | k g ŋ, every velar, uvular and glottal consonant: x ɣ χ ʁ ʀ q |
|       |                   | h ɦ ʔ (French and Danish r are uvular: tongue back, lips      |
|       |                   | neutral, as on k)                                             |
| CH    | ch jh sh zh       | ʃ ʒ tʃ dʒ, alveolo-palatal ɕ ʑ tɕ dʑ, retroflex ʂ ʐ, palatal  |
|       |                   | fricatives ç ʝ                                                |
| SS    | s z               | s z, affricates ts dz (they end on the s)                     |
| nn    | n l               | n l ɫ ɭ ɳ, palatal ɲ ʎ (the tongue touches the front, as on   |
|       |                   | n and l); ŋ stays with k                                      |
| RR    | r er              | ɹ ɻ, trills and taps r ɾ ɽ (tongue tip: the r of that         |
|       |                   | language), r-coloured ɚ ɝ and the non-rhotic ɜ (= er)         |
| aa    | aa ae ah ay aw    | a ɑ æ ɐ ʌ ä ɒ ɶ, schwa ə (English schwa is AH0)                |
| E     | eh ey             | e ɛ ɘ ɤ                                                       |
| ih    | ih iy y           | i ɪ j ɨ ɯ ᵻ (spread: unrounded close vowels and the glide j)  |
| oh    | ao ow oy          | o ɔ, front rounded mid ø œ, ɵ ɞ (rounded, half open)          |
| ou    | uw uh w           | u ʊ w ʍ, front rounded close y ʏ ʉ ɥ (puckered)               |

espeak-ng also writes phonemes the table does not list alone; they are read this way:
- stress, length, tone and diacritic marks are ignored (ˈ ˌ ː ˑ, combining marks, ʲ ʰ ʷ ˠ
  ˤ, and espeak's own suffixes - ^ " '); a nasal vowel is its oral vowel (ɑ̃ like ɑ);
- a diphthong is its first vowel (aɪ aa, ɔɪ oh, eɪ E), except the English ones whose
  ARPAbet class says otherwise (əʊ ʌʉ oh, ɪə ih, eə E, ʊə ou) and the rising ones (ja aa,
  ju ou, Romanian ea and oa aa): the glide is brief, the vowel is what the mouth holds;
- a glottal stop before a vowel (Danish stød) is the vowel; syllabic əl ən əm are l n m;
- r-coloured vowels (ɑːɹ ɔːɹ ʊɹ) are their vowel: the r is a short off-glide; but əɹ and ʌɹ,
  whole r-sounds (English "er"), are RR;
- language switches such as "(en)" are not phonemes and are dropped by the caller.
"""

import unicodedata

VISEMES = ["sil", "PP", "FF", "TH", "DD", "kk", "CH", "SS", "nn", "RR", "aa", "E", "ih", "oh", "ou"]

_ARPABET_CLASSES = {
    "sil": "sil",
    "PP": "p b m",
    "FF": "f v",
    "TH": "th dh",
    "DD": "t d",
    "kk": "k g ng hh",
    "CH": "ch jh sh zh",
    "SS": "s z",
    "nn": "n l",
    "RR": "r er",
    "aa": "aa ae ah ay aw",
    "E": "eh ey",
    "ih": "ih iy y",
    "oh": "ao ow oy",
    "ou": "uw uh w",
}
ARPABET = {p: v for v, ps in _ARPABET_CLASSES.items() for p in ps.split()}

_IPA_CLASSES = {
    "PP": "p b m β ɸ ʙ ɓ pf",
    "FF": "f v ʋ ɱ",
    "TH": "θ ð",
    "DD": "t d ʈ ɖ c ɟ",
    "kk": "k g ɡ ŋ x ɣ χ ʁ ʀ q ɢ ɴ h ɦ ʔ ħ ʕ ɰ",
    "CH": "ʃ ʒ tʃ dʒ ɕ ʑ tɕ dʑ ʂ ʐ ç ʝ",
    "SS": "s z ts dz",
    "nn": "n l ɫ ɭ ɳ ɲ ʎ ɬ ɮ ʟ",
    "RR": "ɹ ɻ r ɾ ɽ ɚ ɝ ɜ",
    "aa": "a ɑ æ ɐ ʌ ä ɒ ɶ ə ɑ",
    "E": "e ɛ ε ɘ ɤ",
    "ih": "i ɪ j ɨ ɯ ᵻ",
    "oh": "o ɔ ø œ ɵ ɞ",
    "ou": "u ʊ w ʍ y ʏ ʉ ɥ",
}
IPA = {p: v for v, ps in _IPA_CLASSES.items() for p in ps.split()}
_VOWEL_CLASSES = {"aa", "E", "ih", "oh", "ou", "RR"}
_GLIDES = {"j", "w", "ɥ", "ʍ"}
# Combinations whose class is not their first vowel's.
_IPA_SPECIAL = {"əʊ": "oh", "ɪə": "ih", "iə": "ih", "eə": "E", "ʊə": "ou", "ea": "aa", "ɔa": "aa",
                "oa": "aa", "əɹ": "RR", "ʌɹ": "RR", "ʌʉ": "oh", "əl": "nn", "ən": "nn", "əm": "PP", "ɚ": "RR"}
_DROP_CHARS = set(":ˈˌːˑ-^\"'ʲʰʷˠˤ̯̃")

# espeak-ng's English phonemes (en-us and en-gb voices) as ARPAbet.
EN_IPA_TO_ARPABET = {
    "sil": "sil", "p": "p", "b": "b", "m": "m", "f": "f", "v": "v", "θ": "th", "ð": "dh",
    "t": "t", "d": "d", "ɾ": "t", "ʔ": "t", "k": "k", "ɡ": "g", "g": "g", "ŋ": "ng", "h": "hh",
    "tʃ": "ch", "dʒ": "jh", "ʃ": "sh", "ʒ": "zh", "s": "s", "z": "z", "n": "n", "n̩": "n",
    "l": "l", "əl": "l", "ɹ": "r", "r": "r", "ɚ": "er", "ɜː": "er", "ɜ": "er",
    "a": "ae", "æ": "ae", "ɐ": "ah", "ʌ": "ah", "ə": "ah", "ɑː": "aa", "ɑ": "aa", "ɒ": "aa",
    "aɪ": "ay", "aɪə": "ay", "aʊ": "aw", "ɛ": "eh", "e": "eh", "eə": "eh", "eɪ": "ey",
    "ɪ": "ih", "ᵻ": "ih", "i": "iy", "iː": "iy", "iə": "iy", "ɪə": "iy", "j": "y",
    "ɔ": "ao", "ɔː": "ao", "oː": "ao", "oʊ": "ow", "əʊ": "ow", "ɔɪ": "oy",
    "uː": "uw", "u": "uw", "ʊ": "uh", "ʊə": "uh", "w": "w",
    "ɑːɹ": "aa", "ɔːɹ": "ao", "oːɹ": "ao", "ɛɹ": "eh", "ɪɹ": "iy", "ʊɹ": "uh", "iəɹ": "iy",
    "aɪɚ": "ay", "aɪʊɹ": "ay", "aʊɚ": "aw", "ɛə": "eh",
    # Scottish, Lancashire and Caribbean voices.
    "a:": "aa", "aa": "aa", "aː": "aa", "eː": "ey", "o": "ow", "oə": "ao", "t̪": "t", "æʊ": "aw",
    "ɑə": "aa", "ɔə": "ao", "əɹ": "er", "ʌɹ": "er", "ʉ": "uw", "ʉː": "uw", "ʉɹ": "uh",
    "ʌʉ": "ow", "ʍ": "w",
}


def arpabet_viseme(phone):
    """ARPAbet phone (any case, stress digits allowed) to its viseme; KeyError if unknown."""
    return ARPABET[phone.lower().rstrip("012")]


def clean_ipa(name):
    """espeak-ng's phoneme name without stress, length and diacritic marks."""
    # ç is a symbol of its own, not c with a mark.
    name = unicodedata.normalize("NFD", unicodedata.normalize("NFC", name).replace("ç", "\0"))
    out = "".join(c for c in name if c not in _DROP_CHARS and unicodedata.category(c) != "Mn")
    return unicodedata.normalize("NFC", out).replace("\0", "ç").replace("?", "ʔ")


def ipa_viseme(name):
    """IPA phoneme (as espeak-ng names it) to its viseme; KeyError if a symbol is unknown."""
    s = clean_ipa(name)
    if s in ("", "_", "sil"):
        return "sil"
    if s in _IPA_SPECIAL:
        return _IPA_SPECIAL[s]
    if s in IPA:
        return IPA[s]
    parts = _split(s)
    if len(parts) > 1 and parts[0] == "ʔ":
        parts = parts[1:]
    vowels = [p for p in parts if IPA[p] in _VOWEL_CLASSES and p not in _GLIDES]
    if vowels:
        return IPA[vowels[0]]
    return IPA[parts[0]]


def _split(s):
    """Longest-match split of a cleaned phoneme into table symbols."""
    parts, i = [], 0
    while i < len(s):
        for n in (2, 1):
            if s[i:i + n] in IPA:
                parts.append(s[i:i + n])
                i += n
                break
        else:
            raise KeyError("no viseme for %r in %r" % (s[i], s))
    return parts


def en_arpabet(ipa_name):
    """espeak-ng English phoneme to ARPAbet; KeyError if unknown."""
    if ipa_name in EN_IPA_TO_ARPABET:
        return EN_IPA_TO_ARPABET[ipa_name]
    s = unicodedata.normalize("NFC", ipa_name.replace("ˈ", "").replace("ˌ", ""))
    return EN_IPA_TO_ARPABET[s]
