#pragma once

#include "link/Ipv4.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

// One row of the device selection list.
struct KnownDevice {
    std::string address; // dotted text, "*" in front for recovery mode, "#" for the "#" state
    std::string id;
    std::string name;
    std::string type;                        // the model text ("460", "QB16" ...)
    std::string serial;                      // the set-address request finds the frame by it
    std::optional<Ipv4Address> addressValue; // none when the text is no address
    bool offline = false;                    // its link was lost; a fresh search reply clears it
};

// How a row is reached: 0 recovery mode (telnet port, no probe), 1 ordinary
// (echo probe first, command port), 2 the "#" state (telnet port, no probe).
enum class EntryKind { Recovery = 0, Application = 1, Hash = 2 };
EntryKind entryKindOf(std::string_view addressColumn);
// The address column without its "*" or "#" mark.
std::string_view bareAddress(std::string_view addressColumn);

// Where the hand-added addresses are kept (the application profile).
class IProfileStore {
public:
    virtual ~IProfileStore() = default;
    virtual int readInt(std::string_view section, std::string_view key) = 0; // missing: 0
    virtual std::string readString(std::string_view section,
                                   std::string_view key) = 0; // missing: ""
    virtual bool writeInt(std::string_view section, std::string_view key, int value) = 0;
    virtual bool writeString(std::string_view section, std::string_view key,
                             std::string_view value) = 0;
};

// The rows of the device selection list: frames that answered the search and
// addresses the operator added. Rules only; the view shows what it holds.
class CDeviceList {
public:
    enum class Source { SearchReply, SavedEntry };

    struct AddOutcome {
        bool changed = false;    // rows were added, replaced or removed
        bool disconnect = false; // the connected frame announced itself anew
    };

    // Adds a row from a queued search reply ("address,mode,ID,'name','type',x,'serial'",
    // with a trailing comma when the frame sent it on its own) or from a saved
    // address ("address,"). A fresh reply replaces the older row of the same
    // address; a saved address never replaces a row that has a name.
    AddOutcome addRowFromText(std::string_view text, Source source,
                              std::optional<Ipv4Address> connectedAddress);

    const std::vector<KnownDevice>& rows() const { return m_rows; }
    void clear() { m_rows.clear(); }
    int findRow(Ipv4Address address) const; // -1 when not listed

    // The hand-added addresses.
    const std::vector<std::string>& savedAddresses() const { return m_saved; }
    void loadSaved(IProfileStore& profile, std::optional<Ipv4Address> connectedAddress);
    bool saveSaved(IProfileStore& profile) const;
    // "Remove from list" is offered only for rows whose address column is a
    // saved address exactly.
    bool canRemove(int row) const;
    bool removeFromList(int row);
    // Takes a row out of the list only (a restarting frame comes back with the
    // next search); the saved addresses stay.
    bool deleteRow(int row);

    // "&Add device": the address the dialog returned (empty when invalid).
    enum class AddDevice { Nothing, AlreadyListed, NotResponding, Added };
    AddDevice addDevice(std::string_view addressText,
                        const std::function<bool(std::string_view)>& probe, IProfileStore& profile);
    static std::string addDeviceMessage(AddDevice result, std::string_view addressText);

    // The "gdevinfo" reply refreshes model and serial number of the connected row.
    bool refreshRow(Ipv4Address address, std::string_view type, std::string_view serial);
    // The "gdevid" reply sets ID and Name of the connected row.
    bool refreshIdentity(Ipv4Address address, int id, std::string_view name);
    // Marks the row of `address` as lost (or not); true when a row changed.
    bool setOffline(Ipv4Address address, bool offline);

    static constexpr std::string_view kProfileSection = "Devices";

private:
    std::vector<KnownDevice> m_rows;
    std::vector<std::string> m_saved;
};

} // namespace velmar
