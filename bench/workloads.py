"""Seeded, reproducible workloads for the benchmarks: multilingual records of
the kind record linkage compares (person names, company names, street
addresses), copies of them with typing errors, and short words.

Everything is generated here from the small lists below; nothing is
downloaded. The same (n, seed, scripts) always gives the same strings.

Scripts:
  ascii     plain English, ASCII only
  latin     French, German, Polish, Czech, Spanish, Nordic and Vietnamese
            names with their diacritics, and plain English among them
  cyrillic  Russian, Ukrainian and Serbian
  greek     Greek, with accents and the final sigma
  cjk       Chinese, Japanese (kanji and kana) and Korean (hangul)

Names are about 8 to 30 code points, addresses about 20 to 60. A CJK name is
two to four characters, so a CJK person record carries what registers there
keep beside it (the kana reading, the district) and lands in the same range.
"""

from __future__ import annotations

import random
import string

SCRIPTS = ("latin", "cyrillic", "greek", "cjk")
ALL_SCRIPTS = ("ascii",) + SCRIPTS

# --------------------------------------------------------------------------
# Built-in lists. Each language: people as (first names, surnames) groups
# (surnames inflect by gender in several of them), words of company names,
# legal forms as templates around the name, streets, cities, address formats
# with {n} house number, {z} postal code, {s} street, {c} city, {k} a second
# number (flat, district), and a postal-code maker.


def _split(text: str) -> list[str]:
    return text.split()


def _digits(k: int):
    return lambda rng: "".join(rng.choices(string.digits, k=k))


ENGLISH = dict(
    people=[(_split("John Michael David Robert James William Thomas Daniel Matthew Andrew Christopher Joseph"),
             _split("Smith Johnson Williams Brown Taylor Anderson Thompson Harris Clarke Robinson Walker Wright")),
            (_split("Mary Sarah Emily Jennifer Elizabeth Jessica Rebecca Laura Michelle Katherine Olivia Hannah"),
             _split("Smith Johnson Williams Brown Taylor Anderson Thompson Harris Clarke Robinson Walker Wright"))],
    words=_split("Global Northern Atlantic Pacific Systems Logistics Consulting Engineering Holdings Trading "
                 "Software Foods Capital Partners Industries Solutions Analytics Medical"),
    legal=["{} Ltd", "{} Inc.", "{} LLC", "{} plc", "{} Corporation", "{} & Sons Ltd"],
    streets=_split("Oak Maple Church High Park Mill Station Victoria Windsor Elm Cedar Highland"),
    cities=_split("London Manchester Leeds Bristol Boston Chicago Denver Seattle Portland Toronto Dublin"),
    addr=["{n} {s} Street, {c}", "{n} {s} Road, {c} {z}", "Flat {k}, {n} {s} Avenue, {c}", "{n} {s} Lane, {c}"],
    zip=_digits(5),
)

LATIN = [
    ENGLISH,
    dict(  # French
        people=[(_split("Jean François Jérôme Stéphane Benoît Loïc Gaëtan Théo Raphaël André Hervé Rémi"),
                 _split("Lefèvre Dubois Girard Bérenger Moreau Lemaître Chevalier Rousseau Fontaine Mercier "
                        "Gauthier Lévêque Benoît Ferré")),
                (_split("Élodie Hélène Cécile Maëlle Amélie Françoise Chloé Léa Zoé Mélanie Noémie Inès"),
                 _split("Lefèvre Dubois Girard Bérenger Moreau Lemaître Chevalier Rousseau Fontaine Mercier "
                        "Gauthier Lévêque Benoît Ferré"))],
        words=_split("Société Générale Transports Bâtiment Électricité Boulangerie Assurances Matériaux "
                     "Créations Services Frères Crédit Industrie Hôtellerie"),
        legal=["{} SARL", "{} SAS", "{} S.A.", "{} et Fils SARL", "{} EURL"],
        streets=["des Lilas", "de la République", "du Général-Leclerc", "Saint-Honoré", "des Écoles",
                 "de l'Église", "Victor-Hugo", "du Château", "des Pêcheurs"],
        cities=_split("Paris Lyon Marseille Besançon Orléans Nîmes Compiègne Sète Angoulême Montréal Genève"),
        addr=["{n} rue {s}, {z} {c}", "{n} bis avenue {s}, {z} {c}", "{n}, place {s}, {z} {c}",
              "Bâtiment {k}, {n} boulevard {s}, {z} {c}"],
        zip=_digits(5),
    ),
    dict(  # German
        people=[(_split("Jürgen Günther Jörg Matthias Stefan Björn Uwe Klaus Andreas Lukas Maximilian Florian"),
                 _split("Müller Schröder Größer Weiß Bäcker Köhler Schäfer Hoffmann Krüger Böhm Jäger Meißner "
                        "Schmitz Vogel")),
                (_split("Käthe Ulrike Jördis Sabine Dörte Hannelore Jutta Anneliese Bärbel Sophie Lena Marlene"),
                 _split("Müller Schröder Größer Weiß Bäcker Köhler Schäfer Hoffmann Krüger Böhm Jäger Meißner "
                        "Schmitz Vogel"))],
        words=_split("Bäckerei Maschinenbau Elektrotechnik Immobilien Versicherungs Brauerei Verwaltungs "
                     "Spedition Metallbau Gebäudereinigung Handels Lebensmittel"),
        legal=["{} GmbH", "{} AG", "{} GmbH & Co. KG", "{} KG", "{} e.K."],
        streets=_split("Haupt Bahnhof Goethe Schiller Linden Kirch Mühlen Schloss Garten Wiesen Brücken Königs"),
        cities=_split("München Köln Düsseldorf Nürnberg Lübeck Würzburg Göttingen Saarbrücken Zürich Graz"),
        addr=["{s}straße {n}, {z} {c}", "{s}weg {n}a, {z} {c}", "{s}platz {n}, {z} {c}",
              "{s}allee {n}, {k}. OG, {z} {c}"],
        zip=_digits(5),
    ),
    dict(  # Polish
        people=[(_split("Łukasz Grzegorz Wojciech Paweł Michał Jędrzej Przemysław Mirosław Zbigniew Tomasz"),
                 _split("Wiśniewski Kowalczyk Wójcik Zieliński Dąbrowski Lewandowski Kamiński Szymański "
                        "Woźniak Kozłowski Jabłoński")),
                (_split("Małgorzata Zofia Agnieszka Katarzyna Jadwiga Elżbieta Bożena Grażyna Urszula Joanna"),
                 _split("Wiśniewska Kowalczyk Wójcik Zielińska Dąbrowska Lewandowska Kamińska Szymańska "
                        "Woźniak Kozłowska Łęcka"))],
        words=_split("Przedsiębiorstwo Budownictwa Usługowe Handlowe Transportowe Produkcyjne Spółdzielnia "
                     "Zakład Mięsny Piekarnia Drogowe Wodociągi"),
        legal=["{} sp. z o.o.", "{} S.A.", "{} sp.k.", "{} sp. j."],
        streets=["Marszałkowska", "Piłsudskiego", "Żeromskiego", "Mickiewicza", "Słowackiego", "Kościuszki",
                 "Wrocławska", "Grunwaldzka", "Świętokrzyska"],
        cities=_split("Warszawa Kraków Łódź Wrocław Poznań Gdańsk Szczecin Białystok Rzeszów Toruń"),
        addr=["ul. {s} {n}/{k}, {z} {c}", "al. {s} {n}, {z} {c}", "ul. {s} {n}, {z} {c}"],
        zip=lambda rng: f"{rng.randint(0, 99):02d}-{rng.randint(0, 999):03d}",
    ),
    dict(  # Czech
        people=[(_split("Jiří Tomáš Vojtěch Jan Petr Lukáš Ondřej Matěj Přemysl Zdeněk Radek Miloš"),
                 _split("Dvořák Černý Procházka Kučera Růžička Novotný Svoboda Veselý Horák Němec Pokorný")),
                (_split("Kateřina Lucie Tereza Markéta Jitka Zuzana Šárka Věra Božena Libuše Anežka"),
                 _split("Dvořáková Černá Procházková Kučerová Růžičková Novotná Svobodová Veselá Horáková "
                        "Němcová"))],
        words=_split("Stavební Strojírny Pekárny Zemědělské Družstvo Doprava Služby Obchodní Technické "
                     "Elektromontáže Výroba Sklárny"),
        legal=["{} s.r.o.", "{} a.s.", "{} v.o.s.", "{} spol. s r.o."],
        streets=["Vinohradská", "Národní", "Husova", "Palackého", "Masarykova", "Na Příkopě", "Štefánikova",
                 "Žižkova", "Komenského"],
        cities=_split("Praha Brno Ostrava Plzeň Olomouc Liberec Pardubice Zlín Jihlava Třebíč"),
        addr=["{s} {n}/{k}, {z} {c}", "{s} {n}, {z} {c}"],
        zip=lambda rng: f"{rng.randint(100, 799)} {rng.randint(0, 99):02d}",
    ),
    dict(  # Spanish
        people=[(_split("José Andrés Iñigo Jesús Álvaro Joaquín Martín Ramón Sebastián Rubén Íñigo Adrián"),
                 _split("Muñoz Núñez Gómez Ibáñez Peña Rodríguez Fernández Martínez Sánchez Pérez Jiménez "
                        "Gutiérrez Álvarez Díaz")),
                (_split("María Begoña Ángela Lucía Sofía Inés Mónica Verónica Raquel Nuria Montserrat Aránzazu"),
                 _split("Muñoz Núñez Gómez Ibáñez Peña Rodríguez Fernández Martínez Sánchez Pérez Jiménez "
                        "Gutiérrez Álvarez Díaz"))],
        words=_split("Construcciones Ingeniería Distribuciones Alimentación Inversiones Compañía Española "
                     "Telecomunicaciones Tecnología Logística Cerámica Panadería"),
        legal=["{} S.L.", "{} S.A.", "{} S.L.U.", "{} y Asociados S.L."],
        streets=["de Alcalá", "Mayor", "de la Constitución", "del Príncipe", "de Cervantes", "San Sebastián",
                 "de Andalucía", "Gran Vía", "de los Ángeles"],
        cities=_split("Madrid Barcelona Sevilla Málaga Córdoba León Cádiz Bilbao Logroño Jaén Ávila Bogotá"),
        addr=["Calle {s} {n}, {k}º, {z} {c}", "Avenida {s} {n}, {z} {c}", "Plaza {s} {n}, {z} {c}"],
        zip=_digits(5),
    ),
    dict(  # Nordic
        people=[(_split("Søren Bjørn Håkan Åke Jørgen Sigurður Þórður Mikael Lars Nils Olav Sven"),
                 _split("Ødegaard Lindqvist Åström Sigurðsson Hansen Bjørnstad Sjöberg Møller Nyström Ekström "
                        "Thorsen Holmgren")),
                (_split("Åsa Ingrid Sigrún Þórunn Maja Søs Linnéa Björg Kristín Märta Solveig Astrid"),
                 _split("Ødegaard Lindqvist Åström Sigurðardóttir Hansen Bjørnstad Sjöberg Møller Nyström "
                        "Ekström Thorsen Holmgren"))],
        words=_split("Byggnads Fiskeri Skogsindustri Rederi Elektronik Måleri Værksted Verkstad Bageri Fastigheter "
                     "Energi Transport"),
        legal=["{} AB", "{} AS", "{} A/S", "{} Oy", "{} ehf.", "{} ApS"],
        streets=_split("Drottning Kungs Strand Kirke Skol Hamn Stor Lille Nørre Øster Vester Bryggen"),
        cities=_split("Stockholm Göteborg Malmö Uppsala Oslo Bergen Tromsø København Århus Reykjavík Helsingfors"),
        addr=["{s}gatan {n}, {z} {c}", "{s}gade {n}, {k}. tv, {z} {c}", "{s}veien {n}, {z} {c}"],
        zip=lambda rng: f"{rng.randint(100, 999)} {rng.randint(10, 99)}",
    ),
    dict(  # Vietnamese: family name, middle name, given name
        people=[(_split("Minh Dũng Tuấn Hiếu Quang Hùng Thắng Đức Khánh Phúc Long Việt"),
                 _split("Nguyễn Trần Lê Phạm Hoàng Huỳnh Phan Vũ Đặng Bùi Đỗ Hồ Ngô Dương")),
                (_split("Thảo Phương Quỳnh Ngọc Hương Lan Hằng Trang Thu Hà Linh Nhung"),
                 _split("Nguyễn Trần Lê Phạm Hoàng Huỳnh Phan Vũ Đặng Bùi Đỗ Hồ Ngô Dương"))],
        middle=_split("Văn Thị Hữu Đình Minh Ngọc Thanh Quốc Thu Xuân"),
        words=["Thương mại", "Xây dựng", "Dịch vụ", "Vận tải", "Thực phẩm", "Công nghệ", "Đầu tư", "Phát triển",
               "Sản xuất", "Điện tử"],
        legal=["Công ty TNHH {}", "Công ty Cổ phần {}", "Doanh nghiệp tư nhân {}"],
        streets=["Lê Lợi", "Nguyễn Huệ", "Trần Hưng Đạo", "Hai Bà Trưng", "Điện Biên Phủ", "Lý Thường Kiệt",
                 "Phạm Ngũ Lão", "Võ Văn Tần"],
        cities=["Hà Nội", "TP. Hồ Chí Minh", "Đà Nẵng", "Hải Phòng", "Cần Thơ", "Huế", "Nha Trang"],
        addr=["{n} Đường {s}, Quận {k}, {c}", "Số {n} {s}, Phường {k}, {c}"],
        zip=_digits(6),
    ),
]

CYRILLIC = [
    dict(  # Russian: surname, first name, patronymic
        people=[(_split("Александр Дмитрий Сергей Андрей Михаил Алексей Николай Владимир Павел Юрий Фёдор Пётр"),
                 _split("Иванов Смирнов Кузнецов Попов Соколов Лебедев Новиков Морозов Волков Соловьёв Васильев "
                        "Зайцев Королёв")),
                (_split("Наталья Екатерина Ольга Юлия Татьяна Анастасия Светлана Ирина Елена Ксения Дарья Алёна"),
                 _split("Иванова Смирнова Кузнецова Попова Соколова Лебедева Новикова Морозова Волкова "
                        "Соловьёва Васильева Зайцева"))],
        patronymic=_split("Александрович Сергеевна Иванович Петровна Дмитриевич Николаевна Андреевич Юрьевна "
                      "Михайлович Владимировна"),
        words=["Строй", "Техно", "Инвест", "Торговый дом", "Агро", "Промышленная группа", "Сервис", "Логистика",
               "Нефтегаз", "Медицинский центр", "Энергосбыт", "Хлебозавод"],
        legal=["ООО «{}»", "АО «{}»", "ПАО «{}»", "ИП {}", "ЗАО «{}»"],
        streets=["Ленина", "Мира", "Гагарина", "Пушкина", "Советская", "Садовая", "Лесная", "Октябрьская",
                 "Тверская", "Школьная"],
        cities=_split("Москва Санкт-Петербург Новосибирск Екатеринбург Казань Нижний-Новгород Самара Омск "
                      "Ростов-на-Дону Уфа Красноярск Воронеж"),
        addr=["ул. {s}, д. {n}, кв. {k}, г. {c}", "г. {c}, просп. {s}, д. {n}, {z}", "{z}, г. {c}, ул. {s}, {n}"],
        zip=_digits(6),
    ),
    dict(  # Ukrainian
        people=[(_split("Олександр Тарас Богдан Юрій Іван Андрій Василь Микола Євген Остап Дмитро Ігор"),
                 _split("Шевченко Коваленко Бондаренко Ткаченко Кравчук Мельник Поліщук Лисенко Марченко "
                        "Їжакевич Гнатюк Савчук")),
                (_split("Ярослава Оксана Іванна Марія Олена Наталія Тетяна Ганна Соломія Христина Юлія Людмила"),
                 _split("Шевченко Коваленко Бондаренко Ткаченко Кравчук Мельник Поліщук Лисенко Марченко "
                        "Григор'єва Гнатюк Савчук"))],
        patronymic=_split("Олександрович Іванівна Петрович Миколаївна Васильович Андріївна Юрійович Богданівна"),
        words=["Будівельна компанія", "Агрохолдинг", "Торговий дім", "Енергія", "Транссервіс", "Укрпостач",
               "Хлібзавод", "Молочний комбінат", "Київбуд", "Технології"],
        legal=["ТОВ «{}»", "ПрАТ «{}»", "ФОП {}", "ПАТ «{}»"],
        streets=["Хрещатик", "Шевченка", "Грушевського", "Січових Стрільців", "Лесі Українки", "Франка",
                 "Богдана Хмельницького", "Соборна"],
        cities=_split("Київ Львів Харків Одеса Дніпро Запоріжжя Вінниця Полтава Чернігів Житомир Ужгород"),
        addr=["вул. {s}, {n}, кв. {k}, м. {c}, {z}", "м. {c}, просп. {s}, {n}", "{z}, м. {c}, вул. {s}, буд. {n}"],
        zip=_digits(5),
    ),
    dict(  # Serbian
        people=[(_split("Јован Милош Драган Ђорђе Његош Никола Стефан Душан Бранислав Вук Живорад Милутин"),
                 _split("Петровић Јовановић Ђорђевић Николић Љубичић Џаковић Марковић Илић Стојановић "
                        "Павловић Живковић Тодоровић")),
                (_split("Јелена Љубица Милица Драгана Ивана Снежана Катарина Јована Тијана Марија Невена Ђурђа"),
                 _split("Петровић Јовановић Ђорђевић Николић Љубичић Џаковић Марковић Илић Стојановић "
                        "Павловић Живковић Тодоровић"))],
        words=["Грађевинско предузеће", "Пекара", "Млекара", "Транспорт", "Трговина", "Инжењеринг", "Штампарија",
               "Електродистрибуција", "Пољопривреда"],
        legal=["{} д.о.о.", "{} а.д.", "{} доо Београд"],
        streets=["Краља Милана", "Кнеза Михаила", "Немањина", "Булевар ослобођења", "Цара Душана",
                 "Војводе Степе", "Његошева", "Таковска"],
        cities=_split("Београд Нови-Сад Ниш Крагујевац Суботица Зрењанин Панчево Чачак Ваљево"),
        addr=["{s} {n}, {z} {c}", "{s} {n}/{k}, {z} {c}", "Улица {s} {n}, {c}"],
        zip=_digits(5),
    ),
]

GREEK = [
    dict(
        people=[(_split("Γιώργος Δημήτρης Νίκος Κωνσταντίνος Ιωάννης Παναγιώτης Χρήστος Αθανάσιος Βασίλης "
                        "Σπύρος Ευάγγελος Στέφανος"),
                 _split("Παπαδόπουλος Γεωργίου Οικονόμου Καραγιάννης Βλάχος Αντωνίου Νικολάου Μιχαηλίδης "
                        "Αλεξίου Σταματόπουλος Κωνσταντίνου Παπαδάκης Λαμπράκης")),
                (_split("Ελένη Μαρία Αικατερίνη Σοφία Βασιλική Γεωργία Δέσποινα Ευαγγελία Αναστασία Χριστίνα "
                        "Ιφιγένεια Ζωή"),
                 _split("Παπαδοπούλου Γεωργίου Οικονόμου Καραγιάννη Βλάχου Αντωνίου Νικολάου Μιχαηλίδου "
                        "Αλεξίου Σταματοπούλου Κωνσταντίνου Παπαδάκη"))],
        words=["Τεχνική", "Εμπορική", "Κατασκευαστική", "Ναυτιλιακή", "Ελληνικά Πετρέλαια", "Τρόφιμα",
               "Συστήματα", "Ξενοδοχειακή", "Φαρμακευτική", "Γαλακτοκομική", "Μεταφορές", "Οινοποιία"],
        legal=["{} Α.Ε.", "{} Ε.Π.Ε.", "{} Ι.Κ.Ε.", "{} Ο.Ε.", "{} Ανώνυμη Εταιρεία"],
        streets=["Ερμού", "Πανεπιστημίου", "Σταδίου", "Ακαδημίας", "Εγνατίας", "Τσιμισκή", "Αριστοτέλους",
                 "Βασιλίσσης Σοφίας", "Αγίου Νικολάου", "Κηφισίας"],
        cities=_split("Αθήνα Θεσσαλονίκη Πάτρα Ηράκλειο Λάρισα Βόλος Ιωάννινα Χανιά Καβάλα Ρόδος Κέρκυρα Πειραιάς"),
        addr=["Οδός {s} {n}, {z} {c}", "Λεωφόρος {s} {n}, {c} {z}", "{s} {n}, {k}ος όροφος, {z} {c}"],
        zip=lambda rng: f"{rng.randint(100, 899)} {rng.randint(10, 99)}",
    ),
]

# CJK records are built by functions of their own (no spaces in Chinese,
# readings in Japanese), from these lists.
ZH_SURNAMES = list("王李张刘陈杨赵黄周吴徐孙胡朱高林何郭马罗梁宋郑谢") + ["欧阳", "司马", "诸葛"]
ZH_GIVEN = (list("伟芳娜敏静丽强磊军洋勇艳杰娟涛明超霞平刚")
            + ["秀英", "秀兰", "桂英", "志强", "建华", "晓明", "海燕", "文博", "子涵", "雨萱", "浩然", "欣怡"])
ZH_PROVINCES = ["广东省", "浙江省", "江苏省", "四川省", "湖北省", "山东省", "福建省", "河南省"]
ZH_CITIES = ["深圳市", "杭州市", "南京市", "成都市", "武汉市", "青岛市", "厦门市", "郑州市", "苏州市", "广州市"]
ZH_DISTRICTS = ["南山区", "西湖区", "鼓楼区", "武侯区", "洪山区", "市南区", "思明区", "金水区", "朝阳区", "海淀区"]
ZH_ROADS = ["科技园路", "人民路", "中山路", "解放大道", "建设路", "文化街", "学院路", "长江路", "和平里"]
ZH_WORDS = ["华信", "宏达", "鑫源", "恒通", "天成", "金桥", "瑞丰", "新世纪", "东方", "永盛", "博远", "联创"]
ZH_TRADES = ["科技", "贸易", "实业", "电子", "建设", "投资", "网络", "信息", "物流", "食品", "机械", "化工", "医药"]
ZH_LEGAL = ["有限公司", "股份有限公司", "有限责任公司", "集团有限公司"]

JA_SURNAMES = [("佐藤", "さとう"), ("鈴木", "すずき"), ("高橋", "たかはし"), ("田中", "たなか"), ("伊藤", "いとう"),
               ("渡辺", "わたなべ"), ("山本", "やまもと"), ("中村", "なかむら"), ("小林", "こばやし"),
               ("加藤", "かとう"), ("吉田", "よしだ"), ("山口", "やまぐち"), ("松本", "まつもと")]
JA_GIVEN = [("翔太", "しょうた"), ("陽菜", "ひな"), ("結衣", "ゆい"), ("大輔", "だいすけ"), ("さくら", "さくら"),
            ("美咲", "みさき"), ("健一", "けんいち"), ("ひろし", "ひろし"), ("直樹", "なおき"), ("愛子", "あいこ"),
            ("蓮", "れん"), ("優子", "ゆうこ")]
JA_PREFECTURES = [("東京都", ["新宿区", "渋谷区", "港区", "世田谷区"]), ("大阪府", ["大阪市北区", "堺市堺区"]),
                  ("神奈川県", ["横浜市中区", "川崎市幸区"]), ("愛知県", ["名古屋市中区", "豊田市"]),
                  ("北海道", ["札幌市中央区", "函館市"]), ("福岡県", ["福岡市博多区", "北九州市小倉北区"])]
JA_TOWNS = ["西新宿", "梅田", "栄", "本町", "中央", "桜木町", "大通西", "天神", "神宮前", "六本木"]
JA_WORDS = ["山田製作所", "さくら商事", "東洋電子", "システム", "ソリューションズ", "テクノロジー", "ホールディングス",
            "エンジニアリング", "日本精工", "北斗物産", "みどり食品", "丸和運輸"]
JA_LEGAL = ["株式会社{}", "{}株式会社", "有限会社{}", "{}工業株式会社", "合同会社{}"]
JA_BUILDINGS = ["パークタワー", "センタービル", "第一ビル", "ヒルズ", "スクエア"]

KO_SURNAMES = list("김이박최정강조윤장임한오서신권황안송류홍") + ["남궁", "제갈"]
KO_GIVEN = ["민준", "서연", "지훈", "하은", "도윤", "수빈", "예준", "지우", "현우", "서준", "지민", "은서", "영호", "미영"]
KO_CITIES = [("서울특별시", ["강남구", "종로구", "마포구", "송파구"]), ("부산광역시", ["해운대구", "부산진구"]),
             ("경기도", ["성남시 분당구", "수원시 영통구"]), ("인천광역시", ["연수구", "남동구"]),
             ("대구광역시", ["수성구", "중구"])]
KO_ROADS = ["테헤란로", "세종대로", "센텀중앙로", "판교역로", "올림픽로", "중앙대로", "월드컵북로", "동대구로"]
KO_WORDS = ["한빛", "대한", "미래", "기술", "전자", "건설", "물산", "산업", "소프트", "바이오", "에너지", "식품"]
KO_LEGAL = ["주식회사 {}", "(주){}", "{} 주식회사", "유한회사 {}"]

# --------------------------------------------------------------------------
# Records


def _person(rng: random.Random, lang: dict) -> str:
    first, last = rng.choice(lang["people"])
    f, s = rng.choice(first), rng.choice(last)
    if "middle" in lang:  # Vietnamese: family, middle, given
        return f"{s} {rng.choice(lang['middle'])} {f}"
    form = rng.random()
    if "patronymic" in lang and form < 0.5:
        return f"{s} {f} {rng.choice(lang['patronymic'])}"
    if form < 0.55:
        return f"{s}, {f}"
    if form < 0.75:
        return f"{f} {rng.choice(first)} {s}"
    if form < 0.85:
        return f"{f} {s}-{rng.choice(last)}"
    return f"{f} {s}"


def _company(rng: random.Random, lang: dict) -> str:
    words = lang["words"]
    if rng.random() < 0.4:
        _, last = rng.choice(lang["people"])
        body = f"{rng.choice(last)} {rng.choice(words)}"
    else:
        body = f"{rng.choice(words)} {rng.choice(words)}"
    return rng.choice(lang["legal"]).format(body)


def _address(rng: random.Random, lang: dict) -> str:
    return rng.choice(lang["addr"]).format(
        n=rng.randint(1, 199), k=rng.randint(1, 40), z=lang["zip"](rng), s=rng.choice(lang["streets"]),
        c=rng.choice(lang["cities"]))


def _tabled(languages: list[dict]):
    def record(rng: random.Random, kind: int) -> str:
        lang = rng.choice(languages)
        return (_person, _company, _address)[kind](rng, lang)

    return record


def _zh(rng: random.Random, kind: int) -> str:
    if kind == 0:
        return f"{rng.choice(ZH_SURNAMES)}{rng.choice(ZH_GIVEN)} {rng.choice(ZH_CITIES)}{rng.choice(ZH_DISTRICTS)}"
    if kind == 1:
        return f"{rng.choice(ZH_CITIES)}{rng.choice(ZH_WORDS)}{rng.choice(ZH_TRADES)}{rng.choice(ZH_TRADES)}" \
               f"{rng.choice(ZH_LEGAL)}"
    return (f"{rng.choice(ZH_PROVINCES)}{rng.choice(ZH_CITIES)}{rng.choice(ZH_DISTRICTS)}{rng.choice(ZH_ROADS)}"
            f"{rng.randint(1, 999)}号{rng.randint(1, 30)}栋{rng.randint(101, 2808)}室")


def _ja(rng: random.Random, kind: int) -> str:
    if kind == 0:
        (s, sr), (g, gr) = rng.choice(JA_SURNAMES), rng.choice(JA_GIVEN)
        return f"{s} {g}（{sr} {gr}）"
    if kind == 1:
        return rng.choice(JA_LEGAL).format(rng.choice(JA_WORDS))
    pref, wards = rng.choice(JA_PREFECTURES)
    addr = f"{pref}{rng.choice(wards)}{rng.choice(JA_TOWNS)}{rng.randint(1, 9)}丁目{rng.randint(1, 30)}番{rng.randint(1, 20)}号"
    if rng.random() < 0.5:
        addr = f"〒{rng.randint(100, 999)}-{rng.randint(0, 9999):04d} {addr} {rng.choice(JA_BUILDINGS)}{rng.randint(2, 40)}階"
    return addr


def _ko(rng: random.Random, kind: int) -> str:
    if kind == 0:
        city, districts = rng.choice(KO_CITIES)
        return f"{rng.choice(KO_SURNAMES)}{rng.choice(KO_GIVEN)} {city} {rng.choice(districts)}"
    if kind == 1:
        return rng.choice(KO_LEGAL).format(rng.choice(KO_WORDS) + rng.choice(KO_WORDS))
    city, districts = rng.choice(KO_CITIES)
    return f"{city} {rng.choice(districts)} {rng.choice(KO_ROADS)} {rng.randint(1, 400)}, {rng.randint(2, 30)}층"


def _cjk(rng: random.Random, kind: int) -> str:
    return rng.choice((_zh, _ja, _ko))(rng, kind)


MAKERS = {
    "ascii": _tabled([ENGLISH]),
    "latin": _tabled(LATIN),
    "cyrillic": _tabled(CYRILLIC),
    "greek": _tabled(GREEK),
    "cjk": _cjk,
}

KIND_WEIGHTS = (0.45, 0.25, 0.30)  # person, company, address
KINDS = (0, 1, 2)

_CACHE: dict = {}


def labelled_records(n: int, seed: int, scripts=SCRIPTS) -> tuple[list[str], list[str]]:
    """(records, the script of each), the scripts in equal shares at random."""
    key = (n, seed, tuple(scripts))
    if key not in _CACHE:
        rng = random.Random(seed)
        makers = [MAKERS[s] for s in scripts]
        which = rng.choices(range(len(scripts)), k=n)
        kinds = rng.choices(KINDS, KIND_WEIGHTS, k=n)
        texts = [makers[w](rng, k) for w, k in zip(which, kinds)]
        _CACHE[key] = (texts, [scripts[w] for w in which])
    texts, labels = _CACHE[key]
    return list(texts), list(labels)


def records(n: int, seed: int, scripts=SCRIPTS) -> list[str]:
    """`n` records (person, company or address) of the given scripts."""
    return labelled_records(n, seed, scripts)[0]


# --------------------------------------------------------------------------
# Typing errors


def char_script(ch: str) -> str:
    cp = ord(ch)
    if cp < 0x80:
        return "ascii"
    if cp < 0x250 or 0x1E00 <= cp < 0x1F00:
        return "latin"
    if 0x370 <= cp < 0x400 or 0x1F00 <= cp < 0x2000:
        return "greek"
    if 0x400 <= cp < 0x530:
        return "cyrillic"
    if 0x3040 <= cp < 0x3100:
        return "kana"
    if 0xAC00 <= cp < 0xD7A4:
        return "hangul"
    if 0x3400 <= cp < 0xA000:
        return "han"
    return "other"


def _letters_of_lists() -> dict[str, str]:
    """The lowercase letters of every list above, by script of letter."""
    seen: dict[str, set] = {}

    def walk(obj):
        if isinstance(obj, str):
            for ch in obj.lower():
                if ch.isalpha():
                    seen.setdefault(char_script(ch), set()).add(ch)
        elif isinstance(obj, dict):
            for v in obj.values():
                walk(v)
        elif isinstance(obj, (list, tuple)):
            for v in obj:
                walk(v)

    walk([LATIN, CYRILLIC, GREEK])
    walk([v for k, v in globals().items() if k[:3] in ("ZH_", "JA_", "KO_")])
    out = {k: "".join(sorted(v)) for k, v in seen.items()}
    out["ascii"] = string.ascii_lowercase
    # Typing on a Latin keyboard mostly hits the plain letters.
    out["latin"] = string.ascii_lowercase * 3 + out.get("latin", "")
    return out


ALPHABETS = _letters_of_lists()


def _like(rng: random.Random, ch: str, ascii_only: bool) -> str:
    """A character of the same script as `ch`, in its case."""
    if ch.isdigit():
        return rng.choice(string.digits)
    script = char_script(ch)
    if script == "ascii" and not ascii_only:
        script = "latin"
    alphabet = ALPHABETS.get(script) or ALPHABETS["ascii"]
    out = rng.choice(alphabet)
    if ch.isupper() and len(out.upper()) == 1:
        out = out.upper()
    return out


def _change_case(rng: random.Random, text: str) -> str | None:
    """One letter's case flipped, or one word upper-cased (lower-cased when
    it already is); None when the text has no cased letter."""
    cased = [i for i, ch in enumerate(text) if ch.lower() != ch.upper()]
    if not cased:
        return None
    if rng.random() < 0.5:
        i = rng.choice(cased)
        flipped = text[i].swapcase()
        return text[:i] + flipped + text[i + 1:]
    words = text.split(" ")
    candidates = [j for j, w in enumerate(words) if w.lower() != w.upper()]
    j = rng.choice(candidates)
    w = words[j]
    words[j] = w.lower() if w == w.upper() else w.upper()
    return " ".join(words)


def typo(rng: random.Random, text: str) -> str:
    """`text` with 1 to 3 typing errors: adjacent characters swapped, a
    character dropped, inserted or substituted (by one of the same script),
    or the case of a letter or of a whole word changed."""
    ascii_only = text.isascii()
    for _ in range(rng.randint(1, 3)):
        op = rng.randrange(5)
        if op == 4:
            changed = _change_case(rng, text)
            if changed is not None:
                text = changed
                continue
            op = 3  # no case in this script: a substitution instead
        n = len(text)
        if n < 2:
            break
        if op == 0:
            i = rng.randrange(n - 1)
            text = text[:i] + text[i + 1] + text[i] + text[i + 2:]
        elif op == 1:
            i = rng.randrange(n)
            text = text[:i] + text[i + 1:]
        else:
            letters = [i for i, ch in enumerate(text) if ch.isalnum()]
            i = rng.choice(letters) if letters else rng.randrange(n)
            repl = _like(rng, text[i], ascii_only)
            if op == 2:
                text = text[:i] + repl + text[i:]
            else:
                if repl == text[i]:
                    repl = _like(rng, text[i], ascii_only)
                text = text[:i] + repl + text[i + 1:]
    return text


def pairs(n: int, seed: int, scripts=SCRIPTS) -> list[tuple[str, str]]:
    """`n` (record, copy of it with typing errors) pairs."""
    rng = random.Random(seed ^ 0x5EED)
    return [(r, typo(rng, r)) for r in records(n, seed, scripts)]


def batch_workload(n_candidates: int, seed: int, scripts=SCRIPTS, per_script: int = 1):
    """(queries, candidates): `n_candidates` records, and per script
    `per_script` typo'd copies of candidates of that script, in the order of
    `scripts`."""
    cands, labels = labelled_records(n_candidates, seed, scripts)
    rng = random.Random(seed ^ 0xBA7C)
    queries = []
    for script in scripts:
        own = [i for i, s in enumerate(labels) if s == script]
        for i in rng.sample(own, min(per_script, len(own))):
            queries.append(typo(rng, cands[i]))
    return queries, cands


def text_script(text: str) -> str:
    """The script most of the letters of `text` are in (kana, han and
    hangul count as cjk; latin without any non-ASCII letter as ascii)."""
    counts: dict[str, int] = {}
    for ch in text:
        if ch.isalpha():
            s = char_script(ch)
            s = "cjk" if s in ("kana", "han", "hangul") else s
            counts[s] = counts.get(s, 0) + 1
    if not counts:
        return "ascii"
    best = max(counts, key=counts.get)
    if best in ("ascii", "latin"):
        return "ascii" if text.isascii() else "latin"
    return best


# --------------------------------------------------------------------------
# Short words


LATIN1_ACCENTS = "àáâãäåæçèéêëìíîïñòóôõöøùúûüýÿß"
CYRILLIC_LOWER = "абвгдеёжзийклмнопрстуфхцчшщъыьэюяіїєґђјљњћџ"
GREEK_LOWER = "αβγδεζηθικλμνξοπρστυφχψωάέήίόύώϊϋ"


def _cased(rng: random.Random, w: str) -> str:
    r = rng.random()
    if r < 0.25:
        return w.capitalize()
    if r < 0.30:
        return w.upper()
    return w


def _ascii_word(rng: random.Random) -> str:
    return _cased(rng, "".join(rng.choices(string.ascii_lowercase, k=rng.randint(3, 12))))


def _non_ascii_word(rng: random.Random) -> str:
    r = rng.random()
    if r < 0.40:  # Latin-1 letters, at least one accented
        k = rng.randint(3, 12)
        chars = rng.choices(string.ascii_lowercase * 2 + LATIN1_ACCENTS, k=k)
        chars[rng.randrange(k)] = rng.choice(LATIN1_ACCENTS)
        w = "".join(chars)
    elif r < 0.65:
        w = "".join(rng.choices(CYRILLIC_LOWER, k=rng.randint(3, 12)))
    elif r < 0.80:
        w = "".join(rng.choices(GREEK_LOWER, k=rng.randint(3, 12))).replace("ς", "σ")
        if w.endswith("σ"):
            w = w[:-1] + "ς"
    else:
        alphabet = rng.choice((ALPHABETS["han"], ALPHABETS["kana"], ALPHABETS["hangul"]))
        return "".join(rng.choices(alphabet, k=rng.randint(2, 5)))
    return _cased(rng, w)


def ascii_words(n: int, seed: int = 12345) -> list[str]:
    """`n` ASCII words of 3-12 letters, some capitalised or upper-case."""
    rng = random.Random(seed)
    return [_ascii_word(rng) for _ in range(n)]


def non_ascii_words(n: int, seed: int = 23456) -> list[str]:
    """`n` short words, none ASCII: Latin-1 accented, Cyrillic, Greek, CJK."""
    rng = random.Random(seed)
    return [_non_ascii_word(rng) for _ in range(n)]


def mixed_words(n: int, seed: int = 34567) -> list[str]:
    """`n` short words, ASCII and non-ASCII half and half at random."""
    rng = random.Random(seed)
    return [_ascii_word(rng) if rng.random() < 0.5 else _non_ascii_word(rng) for _ in range(n)]


def text(length: int, seed: int, ascii_only: bool = True) -> str:
    """A text of `length` code points: words separated by spaces."""
    rng = random.Random(seed)
    word = _ascii_word if ascii_only else _non_ascii_word
    parts, total = [], 0
    while total < length:
        w = word(rng)
        parts.append(w)
        total += len(w) + 1
    return " ".join(parts)[:length]


def near_copy(rng: random.Random, text_: str, rate: float) -> str:
    """`text_` with round(rate * len) single-character edits at distinct
    random places: substitutions, drops, insertions and swaps, of the same
    script as the character they touch."""
    n = len(text_)
    k = max(1, round(rate * n))
    ascii_only = text_.isascii()
    places = set(rng.sample(range(n), k))
    out = []
    skip = False
    for i, ch in enumerate(text_):
        if skip:
            skip = False
            continue
        if i not in places:
            out.append(ch)
            continue
        op = rng.randrange(4)
        if op == 0:
            out.append(_like(rng, ch, ascii_only))
        elif op == 2:
            out.append(ch)
            out.append(_like(rng, ch, ascii_only))
        elif op == 3 and i + 1 < n:
            out.append(text_[i + 1])
            out.append(ch)
            skip = True
        # op 1 (and a swap at the very end): dropped
    return "".join(out)


if __name__ == "__main__":
    # A look at what the generator makes, and how fast.
    import statistics
    import sys
    import time

    n = int(sys.argv[1]) if len(sys.argv) > 1 else 1_000_000
    t0 = time.perf_counter()
    recs, labels = labelled_records(n, 1)
    print(f"{n:,} records in {time.perf_counter() - t0:.1f} s, {len(set(recs)):,} distinct")
    for script in ALL_SCRIPTS:
        sample = records(3000, 7, (script,))
        lens = [len(r) for r in sample]
        print(f"{script:9} length min {min(lens)} median {statistics.median(lens)} max {max(lens)}")
        rng = random.Random(3)
        for r in sample[:6]:
            print(f"    {r}  ->  {typo(rng, r)}")
    for fn in (ascii_words, non_ascii_words, mixed_words):
        t0 = time.perf_counter()
        words = fn(n)
        print(f"{fn.__name__}: {n:,} in {time.perf_counter() - t0:.1f} s, e.g. {words[:8]}")
