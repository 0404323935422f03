#pragma once

#include <QString>

#include <memory>

// Starting the notebook when the user logs on. One backend per platform, each
// in a file of its own (autostart_<platform>.cpp) that also defines create().
namespace varnel
{

class Autostart
{
  public:
    virtual ~Autostart() = default;

    // Registers program (a full path) to start at logon.
    virtual bool enable(const QString &program, QString *error) = 0;
    // Switches the start at logon off; the registration itself stays behind,
    // naming program, but inactive.
    virtual bool disable(const QString &program, QString *error) = 0;
    virtual bool isEnabled() const = 0;
    // Where the registration lives, for messages.
    virtual QString location() const = 0;

    // The backend of the platform the program was built for.
    static std::unique_ptr<Autostart> create();
};

} // namespace varnel
