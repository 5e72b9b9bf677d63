"""Sentences for the synthetic part of the corpus: varied, with pauses (commas, full stops),
lips that meet (p b m), lips to teeth (f v), the tongue between the teeth (th), rounded and
spread vowels side by side, and the open vowels."""

ENGLISH = [
    "Peter bought a big map, but Bob kept the maple box.",
    "My mum baked plum pie. Maybe Pam will come by at nine.",
    "Five brave divers found very few fish off the reef.",
    "The thin thief thought that these three things were theirs.",
    "Who knew the blue moon would loom over the pool so soon?",
    "Eat the green beans, please; each piece is cheap and sweet.",
    "Oh no, the old boat won't float. Go slowly over the stones.",
    "Father started the car and parked it in the dark yard.",
    "Judge the bridge, then measure the beige garage in June.",
    "She sells sea shells, and her sister shows them at the shop.",
    "Wait, we will walk with William to the west window.",
    "Red roses grow along the river, right where the road turns.",
    "Look, the cook took a good book and stood by the wood.",
    "I like my bike, and I ride it five times a night.",
    "Now how about our house out on the brown mountain?",
    "The boy enjoys his toy, and Roy points at the coin.",
    "Ten tired children hid under the table, then laughed.",
    "Kevin gave Greg a gold cake, and the king got a grey goat.",
    "Please, bring me both the yellow umbrella and the blue jacket.",
    "Vivid velvet curtains move in the cool evening breeze.",
    "Thank you for calling. Your message has been saved.",
    "Maybe the baby will nap, or maybe she will play with the puppy.",
    "Amazing zebras zigzag past the busy zoo in the sun.",
    "Hold on. Which way is the museum? Turn left, then go straight.",
    "Every Monday morning, Mark buys milk, bread, and fresh plums.",
    "The weather was warm, so we walked the whole way home.",
    "Few people knew who wrote the beautiful tune about the ocean.",
    "A quick brown fox jumps over the lazy dog, then sleeps.",
    "Please enter your number, followed by the pound key.",
    "Bright lamps shine on the marble floor of the palace hall.",
    "Either you leave now, or the train will leave without you.",
    "Mop up the puddle, Bob, before your mother sees the mess.",
    "I thought you said the theatre was free on Thursday.",
    "Uh oh. The loose goose flew through the zoo's roof.",
    "We need peace, patience, and a little bit of cheese.",
    "All of a sudden, the phone rang, and nobody moved.",
    "Smooth jazz played while Beth poured warm coffee.",
    "Open your mouth wide and say ah, then close your lips.",
    "Ships, boats, and barges pass the harbour every evening.",
    "Nine hundred and ninety nine balloons floated away.",
]

# A few sentences per language for synthetic speech in other languages.
OTHER = {
    "fr": [
        "Bonjour, madame. Le petit bateau bleu part à midi.",
        "Papa boit un bon café au lait, puis il va au bureau.",
        "Une voiture rouge roule vite sur la route du village.",
        "Où sont les fleurs? Elles sont dans le vase, près de la fenêtre.",
        "Je veux deux œufs et un peu de beurre, s'il vous plaît.",
        "Le chat dort sur le mur, et le chien joue avec la balle.",
    ],
    "es": [
        "Buenos días. Mi mamá prepara pan y pescado para la cena.",
        "El perro corre por el parque, y la niña busca su muñeca.",
        "Vamos a viajar en barco, pero primero compramos fruta.",
        "¿Dónde está el museo? Está cerca de la plaza mayor.",
        "Mucho gusto, me llamo Pablo y vivo en Bogotá.",
    ],
    "it": [
        "Buongiorno, signora. Il bambino mangia una mela rossa.",
        "Fuori piove, ma a Roma fa ancora molto caldo.",
        "Vorrei un caffè e un bicchiere di acqua, per favore.",
        "La barca blu parte dal porto ogni mattina alle otto.",
        "Pietro e Paola vanno al mare con la famiglia.",
    ],
    "de": [
        "Guten Morgen. Der blaue Bus fährt um acht Uhr ab.",
        "Peter möchte Brot, Butter und frische Milch kaufen.",
        "Über den Wolken muss die Freiheit wohl grenzenlos sein.",
        "Mein Vater wohnt in einem schönen Haus am Fluss.",
        "Fünf müde Vögel sitzen auf dem grünen Baum.",
    ],
    "ru": [
        "Доброе утро. Мама пьёт чай с молоком.",
        "Папа купил большую рыбу, и мы обедали вместе.",
        "Поезд уходит в восемь часов, не опаздывайте.",
        "Вода в озере холодная, но очень чистая.",
        "Маленький мальчик бежит по мосту с собакой.",
    ],
    "nl": [
        "Goedemorgen. De boer brengt melk en boter naar de markt.",
        "Mijn vader fietst elke dag naar zijn werk in de stad.",
    ],
    "pt": [
        "Bom dia. O menino bebe um copo de leite com pão.",
        "A minha mãe mora perto do mar, numa casa azul.",
    ],
    "sv": [
        "God morgon. Pappa bakar bröd och mamma målar boken.",
        "Fem små fåglar flyger över den blå sjön.",
    ],
}

ENGLISH_VOICES = ["en-us", "en", "en-gb-x-rp", "en-gb-scotland", "en-gb-x-gbclan", "en-029"]
VARIANTS = ["", "+m1", "+m2", "+m3", "+m4", "+m5", "+f1", "+f2", "+f3", "+f4", "+f5"]
OTHER_VOICES = {"fr": "fr", "es": "es", "it": "it", "de": "de", "ru": "ru", "nl": "nl",
                "pt": "pt", "sv": "sv"}
