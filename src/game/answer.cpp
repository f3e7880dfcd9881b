// Typing into the answer box and checking the answer.

#include "tavola.h"

namespace segni {

KeyVerdict classifyKey(int keyAscii)
{
    if (keyAscii == '-' || (keyAscii >= '0' && keyAscii <= '9') || keyAscii == 8)
        return KeyVerdict::Accept;
    if (keyAscii == 13)
        return KeyVerdict::Check;
    return KeyVerdict::Refuse;
}

std::optional<Integer> readAnswer(const QString &text)
{
    try {
        return roundToInteger(lenientNumber(text));
    } catch (const RuntimeError &) {
        // Only pasted text could get here; a number that is no Integer
        // cannot be the product, so it simply counts as wrong.
        return std::nullopt;
    }
}

QString spokenVerdict(bool right, Integer product, Integer esatte, Integer errate)
{
    const QString verdict = right ? QStringLiteral("Esatto.")
                                  : QStringLiteral("Sbagliato, era %1.").arg(spokenNumber(product));
    return verdict
        + QStringLiteral(" Esatte %1, errate %2, totali %3.")
              .arg(esatte)
              .arg(errate)
              .arg(int(esatte) + int(errate));
}

void Tavola::txtAnswer_KeyPress(int &keyAscii)
{
    switch (classifyKey(keyAscii)) {
    case KeyVerdict::Accept:
        return;
    case KeyVerdict::Check:
        checkAnswer();
        return;
    case KeyVerdict::Refuse:
        keyAscii = 0;
        return;
    }
}

void Tavola::checkAnswer()
{
    if (m_phase == Phase::Over)
        return;
    try {
        const std::optional<Integer> answer = readAnswer(window().txtAnswer->text());
        const bool right = answer == risultato;
        if (right) {
            esatte = add(esatte, 1);
            window().lblMessage->setCaption(QStringLiteral("Esatto. Sei proprio in gamba!"));
        } else {
            errate = add(errate, 1);
            window().lblMessage->setCaption(QStringLiteral("Sbagliato!! ")
                                            + formatNumber(risultato, QStringLiteral("####0")));
            window().lblScore1->setCaption(formatNumber(errate, QStringLiteral("###0")));
        }
        window().lblScore->setCaption(formatNumber(esatte, QStringLiteral("####0")));
        window().lblScore2->setCaption(formatNumber(add(esatte, errate), QStringLiteral("####0")));
        window().cmdNext->setEnabled(true);
        // Said where the focus lands, so the pupil hears it at once.
        window().cmdNext->setAccessibleDescription(spokenVerdict(right, risultato, esatte, errate));
        window().cmdNext->setFocus();
    } catch (const RuntimeError &error) {
        handle(runTimeError(error));
    }
}

} // namespace segni
