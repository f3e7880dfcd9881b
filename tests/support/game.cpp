#include "fakeplatform.h"

#include <QTest>

namespace segni::testing {

void Game::answer(const QString &typed)
{
    ui::AnswerBox *box = w().txtAnswer;
    box->setFocus();
    QTest::keyClicks(box, typed);
    QTest::keyClick(box, Qt::Key_Return);
}

} // namespace segni::testing
