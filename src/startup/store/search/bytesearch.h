#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace varnel::search
{

// Looks for one needle in many texts: a vector scan for two of its bytes at
// once (chosen to be rare in encoded text: the last byte and the one after a
// lead byte), then a compare of the rest.
class ByteFinder
{
  public:
    explicit ByteFinder(std::string_view needle);
    // The first occurrence in hay[0, n), or nullptr.
    const unsigned char *find(const unsigned char *hay, std::size_t n) const;

  private:
    std::string needle_;
    std::size_t a_ = 0, b_ = 0; // offsets of the two scanned bytes, a_ <= b_
};

} // namespace varnel::search
