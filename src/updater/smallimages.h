#pragma once

#include <QIcon>

// The four 8 x 12 status pictures of the download rows, numbered 1 to 4.
class SmallImages
{
  public:
    enum Image { Connecting = 1, Finished = 2, Downloading = 3, Failed = 4 };

    SmallImages();
    QIcon icon(int number) const; // a null icon outside 1..4
    static QSize size() { return {8, 12}; }

  private:
    QIcon icons_[4];
};
