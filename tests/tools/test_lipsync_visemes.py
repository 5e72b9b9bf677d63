#!/usr/bin/env python3
"""The phone-to-viseme tables of the lip-sync corpus (tools/lipsync/visemes.py): English
ARPAbet exactly as the lip-sync figures define the classes, espeak-ng's English phonemes
landing in the same class through ARPAbet and through the IPA table, and every phoneme that
espeak-ng speaks in the corpus's languages having a class (an unknown one would drop
recordings from the corpus).

Usage: test_lipsync_visemes.py
"""
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools",
                                "lipsync"))
import espeak  # noqa: E402
import visemes  # noqa: E402

# The classes as the lip-sync figures state them.
CONTRACT = ("sil = sil; PP = p b m; FF = f v; TH = th dh; DD = t d; kk = k g ng hh; "
            "CH = ch jh sh zh; SS = s z; nn = n l; RR = r er; aa = aa ae ah ay aw; E = eh ey; "
            "ih = ih iy y; oh = ao ow oy; ou = uw uh w")

SAMPLES = {
    "en-us": "The thin thief judged the beige garage; few moons, cheap beans, our boy's oily coat.",
    "en-gb-scotland": "Who knew the blue moon would loom over the pool? Hurry, nurse, go home.",
    "en-gb-x-gbclan": "Father parked the car in the dark yard, then the goat ate the boat.",
    "en-029": "Bright lamps shine on the marble floor; where are your poor sure tours?",
    "en-gb-x-rp": "Here there were near pairs; the fire tower hour, pure cure.",
    "fr": "Un bon vin blanc, deux œufs, huit nuits; le garçon gagne, la fille chuchote.",
    "es-419": "El perro corre; la niña llama a Jorge, y vamos al cabo.",
    "es": "Zapato, cielo, llave y jamón; el perro corre.",
    "it": "Gli gnocchi, la pizza, lo zio e il cielo; Giorgio mangia.",
    "ru": "Щука, мыло, пять, юла, ель, съел; цветы и чай.",
    "de": "Ich möchte Pfeffer; fünf müde Vögel, acht Bücher, zwölf Äpfel.",
    "da": "Øjenbryn, blåbær, rødgrød med fløde; hus og hund.",
    "nl": "De goede wenkbrauw, ui, huis, schip en zeug.",
    "pt": "Óculos, sobrancelha, chapéu, laço; pão e mãe.",
    "sv": "Sju sjösjuka sjömän, glasögon och örhänge.",
    "fi": "Nenä, silmälasit, hyvä yö, kulmakarva.",
    "ro": "Pălărie, sprânceană, mustață; ceai și ghiozdan.",
    "ca": "Ulleres de sol, llavis, paraigua, gerro.",
}


class Tables(unittest.TestCase):
    def test_arpabet_is_the_contract(self):
        expected = {}
        for part in CONTRACT.split(";"):
            cls, phones = part.split("=")
            for p in phones.split():
                expected[p] = cls.strip()
        self.assertEqual(visemes.ARPABET, expected)
        self.assertEqual(sorted(set(expected.values()), key=visemes.VISEMES.index), visemes.VISEMES)
        self.assertEqual(visemes.arpabet_viseme("AH0"), "aa")
        self.assertRaises(KeyError, visemes.arpabet_viseme, "dx")

    def test_english_ipa_agrees_with_arpabet(self):
        # Two English allophones are read as t by ARPAbet, as their symbols say elsewhere:
        # the flap (Spanish r) and the glottal stop.
        allophones = {"ɾ": ("DD", "RR"), "ʔ": ("DD", "kk")}
        for ipa, arpa in visemes.EN_IPA_TO_ARPABET.items():
            via_arpa, via_ipa = visemes.ARPABET[arpa], visemes.ipa_viseme(ipa)
            self.assertEqual((via_arpa, via_ipa) if ipa in allophones else via_arpa,
                             allophones.get(ipa, via_ipa), ipa)

    def test_marks_and_combinations(self):
        cases = {"ɑ̃": "aa", "ɔ̃": "oh", "y": "ou", "ø": "oh", "ç": "CH", "ʁ": "kk", "x": "kk",
                 "ɲ": "nn", "r": "RR", "ə": "aa", "tʲ": "DD", "ja": "aa", "ʔe": "E", "?a": "aa",
                 "u\"": "ou", "əl": "nn", "əʊ": "oh", "aɪ": "aa", "ts": "SS", "pf": "PP",
                 "β": "PP", "ʋ": "FF", "ɥ": "ou", "ɐ̯": "aa", "ˈiː": "ih", "": "sil"}
        for name, cls in cases.items():
            self.assertEqual(visemes.ipa_viseme(name), cls, name)
        self.assertRaises(KeyError, visemes.ipa_viseme, "ǂ")


class Espeak(unittest.TestCase):
    def test_every_phoneme_spoken_has_a_class(self):
        engine = espeak.engine()
        for voice, text in SAMPLES.items():
            speech = engine.synth(text, voice)
            self.assertGreater(len(speech.samples), speech.rate // 2, voice)
            names = [n for _, _, n in speech.phones]
            self.assertGreater(len(names), 10, voice)
            for name in names:
                self.assertIn(visemes.ipa_viseme(name), visemes.VISEMES, (voice, name))
                if voice.startswith("en"):
                    visemes.en_arpabet(name)
            # Segments cover the stream in order.
            ends = [(a, b) for a, b, _ in speech.phones]
            self.assertEqual(ends[0][0], 0)
            self.assertEqual(ends[-1][1], len(speech.samples))
            self.assertTrue(all(b == c for (_, b), (c, _) in zip(ends, ends[1:])), voice)


if __name__ == "__main__":
    unittest.main()
