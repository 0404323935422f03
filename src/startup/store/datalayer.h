#pragma once

#include "store/dbengine.h"

#include <memory>

namespace varnel
{

namespace search
{
class NoteSearch;
}
namespace db
{
class CopyWatch;
}

// The owner of the data layer's long-lived parts: the shared handle behind
// OpenDb, the search engine that follows the handle's file, and the watch that
// stops the online copies before the handle closes.
//
// The program makes one right after its application object and lets it go
// before that object goes: the search's reading thread must end while Qt's
// thread machinery is still there. A test or tool that uses the data layer
// without one gets a default at the first use, dropped with the application
// object (or at the process's exit when there is none).
//
// Used on the thread of the data operations.
class DataLayer
{
  public:
    DataLayer(); // the current one until it goes; one at a time
    ~DataLayer();
    DataLayer(const DataLayer &) = delete;
    DataLayer &operator=(const DataLayer &) = delete;

    static DataLayer &current();
    // The current one, or null when there is none (nothing is made).
    static DataLayer *existing();

    db::SharedHandle &handle() { return handle_; }
    search::NoteSearch &search() { return *search_; }

  private:
    db::SharedHandle handle_; // goes last: the listeners below read it
    std::unique_ptr<search::NoteSearch> search_;
    std::unique_ptr<db::CopyWatch> copies_;
};

} // namespace varnel
