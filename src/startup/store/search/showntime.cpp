#include "store/search/showntime.h"

namespace varnel::search
{

namespace
{

// How many digits, at most `most`, stand at `at`.
std::size_t timeDigitsAt(std::string_view text, std::size_t at, std::size_t most)
{
    std::size_t n = 0;
    while (at + n < text.size() && n < most && text[at + n] >= '0' && text[at + n] <= '9')
        ++n;
    return n;
}

// A field of one or two digits without its leading zero ("08" as "8").
void appendNumber(std::string &out, std::string_view text, std::size_t at, std::size_t length)
{
    if (length == 2 && text[at] == '0')
        ++at, --length;
    out.append(text.substr(at, length));
}

// ":MM:SS", then nothing or '.' and one digit or more.
bool isClockTail(std::string_view tail)
{
    if (tail.size() < 6 || tail[0] != ':' || timeDigitsAt(tail, 1, 2) != 2 || tail[3] != ':' ||
        timeDigitsAt(tail, 4, 2) != 2)
        return false;
    if (tail.size() == 6)
        return true;
    return tail[6] == '.' && tail.size() > 7 &&
           timeDigitsAt(tail, 7, tail.size()) == tail.size() - 7;
}

} // namespace

std::string_view shownTimeBytes(std::string_view stored, std::string &buffer)
{
    const std::string_view s = stored;
    if (timeDigitsAt(s, 0, 4) != 4 || s.size() < 5 || s[4] != '-')
        return stored;
    const std::size_t month = timeDigitsAt(s, 5, 2);
    const std::size_t dayAt = 5 + month + 1;
    if (month == 0 || dayAt > s.size() || s[dayAt - 1] != '-')
        return stored;
    const std::size_t day = timeDigitsAt(s, dayAt, 2);
    const std::size_t end = dayAt + day;
    if (day == 0 || (end < s.size() && s[end] != ' ' && s[end] != 'T'))
        return stored;
    std::size_t hour = 0;
    if (end < s.size()) {
        hour = timeDigitsAt(s, end + 1, 2);
        if (hour == 0 || !isClockTail(s.substr(end + 1 + hour)))
            return stored;
    }
    buffer.assign(s.substr(0, 5));
    appendNumber(buffer, s, 5, month);
    buffer.push_back('-');
    appendNumber(buffer, s, dayAt, day);
    if (end < s.size()) {
        buffer.push_back(' ');
        appendNumber(buffer, s, end + 1, hour);
        buffer.append(s.substr(end + 1 + hour));
    }
    return buffer;
}

} // namespace varnel::search
