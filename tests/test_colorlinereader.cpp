// SPDX-License-Identifier: MIT
#include "colorlinereader.h"

#include <QtTest>

#include <functional>
#include <random>
#include <utility>

namespace {

// The colours and messages of the input fed in pieces of the sizes piece()
// gives, and the line count last.
QStringList readInPieces(const QByteArray &input, const std::function<int()> &piece)
{
    QStringList read;
    ColorLineReader reader([&](QRgb rgb) { read << QString::number(rgb, 16); },
                           [&](qint64 n, const QString &why) { read << QString::number(n) + why; });
    for (int pos = 0, n = 0; pos < input.size(); pos += n) {
        n = qMin(piece(), input.size() - pos);
        reader.feed(input.constData() + pos, size_t(n));
    }
    reader.finish();
    return read << QString::number(reader.lineCount());
}

} // namespace

class TestColorLineReader : public QObject
{
    Q_OBJECT
private slots:
    void anySplitGivesTheSameLines();
};

void TestColorLineReader::anySplitGivesTheSameLines()
{
    const QByteArray limit(ColorLineReader::MaxLineLength, 'x');
    const std::pair<QByteArray, int> inputs[] = {
        // and how many lines it skips
        {"# a comment\r\n\r\n\nred\r\r\nblue\r\n#12g\r\n1,2,3\nwhite", 3},
        {limit + "\n" + limit + "y\nred\n" + limit + limit + "\n#0f0\n" + limit + "z", 0},
    };
    std::mt19937 random(14);
    std::uniform_int_distribution<int> size(1, ColorLineReader::MaxLineLength + 2);
    for (const auto &[input, skipped] : inputs) {
        // Each line that is not skipped gives one colour or one message.
        const QStringList whole = readInPieces(input, [&] { return input.size(); });
        QCOMPARE(whole.size(), input.count('\n') + 2 - skipped);
        QCOMPARE(readInPieces(input, [] { return 1; }), whole);
        for (int run = 0; run < 50; ++run)
            QCOMPARE(readInPieces(input, [&] { return size(random); }), whole);
        for (int cut = 1; cut < input.size(); ++cut) { // every cut in two
            int piece = cut;
            QCOMPARE(readInPieces(input, [&] { return std::exchange(piece, input.size()); }),
                     whole);
        }
    }
}

QTEST_GUILESS_MAIN(TestColorLineReader)
#include "test_colorlinereader.moc"
