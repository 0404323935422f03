#pragma once

#include <QString>
#include <QStringList>

// Realistic notebook contents for the benchmarks: mixed Chinese and ASCII
// titles and bodies of 100 to 2,000 characters, a tenth of the notes done,
// spread over 20 categories. Characters and words follow a skewed
// (Zipf-like) frequency over about 3,000 characters and 2,500 words, so that
// common, middling and rare terms all occur. Some marker words occur in a known share of the
// notes so that searches with a known hit rate can be timed.
struct BenchData {
    QStringList rareTerms; // each in about 1% of the notes
    QStringList wideTerms; // each in about 30% of the notes
};

// bodyChars for bodies of 10 to 30 KB each.
constexpr int kLongBodies = -1;

// Fills the database of the current program folder through the data layer;
// with bodyChars, every body is that long.
BenchData fillNotebook(int notes, int bodyChars = 0);
// The marker words of every generated notebook.
BenchData benchData();
