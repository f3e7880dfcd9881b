"""What the pupil must see and what the game must store, written once for
every surface's test. Texts are the game's own, blanks included."""

import time

PROMPT_TITLE = "Rovid edi do rerudiru da razuzo razozezo"
PROMPT = "Come ti chiami?"
GREETING_TITLE = "Sei pronto per il record? Buona fortuna"
GAME_TITLE = "Ziverur adi v edizor arizadev"
BOX_TITLE = "segni"
RECORD_BEATEN = "E' record"
NEW_GAME_TITLE = "INIZIARE NUOVA GARA"
NEW_GAME = "INIZIAMO UNA NUOVA GARA  ?"
CREDITS_ENTRY = "- © 2026 i contributori di segni"
CREDITS = "Programma freeware"
SAVED = "Ok ho registrato il tuo record, C A M P I O N E"
CLOSING = "Il gioco è finito."
TURN_PROMPT = "Ruota il dispositivo in orizzontale per giocare."
# The names a screen reader gives the answer box, the new-question button
# and the clock.
ANSWER_NAME = "Risultato"
NEXT_NAME = "Nuovo calcolo"
CLOCK_NAME = "Tempo restante"
# The menu bar's first entry, as a screen reader names it.
FIRST_MENU = "segni "
# The failed save to the school's server, up to the server's address.
SERVER_FAILED = "Non sono riuscito a registrare il record sul server http://"


def greeting(name):
    return " %s vediamo se sei un vero campione  " % name


def goodbye_title():
    """The goodbye's title on this day, in the short date format a
    system without regional settings has (dd/MM/yyyy)."""
    return "Data " + time.strftime("%d/%m/%Y")


def titled(shown, title):
    """Whether a window titled shown is the one titled so where a browser
    or Wine writes the date in its own format: a goodbye by its first word."""
    return shown.startswith("Data ") if title.startswith("Data ") else shown == title


def goodbye(name):
    return "Ciao %s, alla prossima sfida!" % name


def beaten_meanwhile(holder, points):
    return "Mentre giocavi, %s ha portato il record a %d punti: il tuo punteggio non lo " \
        "supera." % (holder, points)


def spoken(number):
    """A number as the answer box describes it to a screen reader."""
    return ("meno %d" % -number) if number < 0 else str(number)


def described_question(factors):
    return "Quanto fa %s?" % " per ".join(spoken(f) for f in factors)


def answered(right, product, counts):
    verdict = "Esatto." if right else "Sbagliato, era %s." % spoken(product)
    return verdict + " Esatte %d, errate %d, totali %d." % counts


# The record files, as the desktop game writes them: Windows-1252, CR LF.
SCORE_FILE, HOLDER_FILE = "marvo.txt", "nmarvo.txt"


def record_bytes(score, holder):
    return {SCORE_FILE: b"%d\r\n" % score, HOLDER_FILE: holder.encode("cp1252") + b"\r\n"}
