#include "store/datalayer.h"

#include "store/onlinecopy.h"
#include "store/search/notesearch.h"

#include <QCoreApplication>

namespace varnel
{

namespace
{

DataLayer *g_current = nullptr;

std::unique_ptr<DataLayer> &defaultLayer()
{
    static std::unique_ptr<DataLayer> layer;
    return layer;
}

void dropDefaultLayer()
{
    defaultLayer().reset();
}

} // namespace

DataLayer::DataLayer()
    : search_(std::make_unique<search::NoteSearch>()), copies_(std::make_unique<db::CopyWatch>())
{
    Q_ASSERT(!g_current);
    g_current = this;
    // When the handle closes, the listeners are told in the reverse order:
    // first a copy that reads the handle (a backup object and a statement of
    // its own on it) lets go; then the search takes its hooks off a handle
    // nobody else reads; only then does the handle close. A handle closed
    // with a backup still on it would stay open until that backup ends, and
    // hooks left on it would point at a search that has let go of it.
    handle_.addListener(search_.get());
    handle_.addListener(copies_.get());
}

DataLayer::~DataLayer()
{
    handle_.close();
    handle_.removeListener(copies_.get());
    handle_.removeListener(search_.get());
    if (g_current == this)
        g_current = nullptr;
}

DataLayer &DataLayer::current()
{
    if (g_current)
        return *g_current;
    defaultLayer() = std::make_unique<DataLayer>();
    if (QCoreApplication::instance())
        qAddPostRoutine(dropDefaultLayer);
    return *g_current;
}

DataLayer *DataLayer::existing()
{
    return g_current;
}

namespace db
{

sqlite3 *shared()
{
    return DataLayer::current().handle().get();
}

void closeShared()
{
    if (DataLayer *layer = DataLayer::existing())
        layer->handle().close();
}

} // namespace db

} // namespace varnel
