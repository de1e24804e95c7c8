#pragma once

#include "link/Ipv4.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
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
//
// Rows are found by address through an index, so a flood of replies costs
// constant time each, and the list holds at most kMaxRows rows: further frames
// are counted, not listed. Saved addresses and the connected frame are always
// listed. A row keeps its place: a fresh reply updates it where it stands and
// a new frame is appended, so the operator's picture never reshuffles.
class CDeviceList {
public:
    enum class Source { SearchReply, SavedEntry };

    static constexpr std::size_t kMaxRows = 2000;

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
    void clear();
    int findRow(Ipv4Address address) const; // -1 when not listed

    // A new search: the rows stay where they are, marked as not yet answered.
    // Replies refresh them in place; pruneUnanswered() then takes out the rows
    // whose frames stayed silent. Also restarts the count of unlisted frames.
    void beginSearch();
    // Takes out the rows not answered since beginSearch(). The connected
    // frame's row stays as it is; a saved address stays, as its bare address.
    // True when rows changed.
    bool pruneUnanswered(std::optional<Ipv4Address> connectedAddress);
    // Distinct frames that answered while the list was full, since the last
    // search.
    std::size_t unlistedCount() const { return m_unlisted.size() + m_unlistedOverflow; }

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
    // Why a typed text is no frame address to add, in the operator's words;
    // empty when it is one.
    static std::string addressProblem(std::string_view typed);

    // The "gdevinfo" reply refreshes model and serial number of the connected row.
    bool refreshRow(Ipv4Address address, std::string_view type, std::string_view serial);
    // The "gdevid" reply sets ID and Name of the connected row.
    bool refreshIdentity(Ipv4Address address, int id, std::string_view name);
    // Marks the row of `address` as lost (or not); true when a row changed.
    bool setOffline(Ipv4Address address, bool offline);

    static constexpr std::string_view kProfileSection = "Devices";

    // What the operator should know after a search beyond the rows: frames
    // the full list turned away and replies the system dropped before the
    // program could read them. Empty when there is nothing to say.
    static std::string searchNote(std::size_t unlisted, std::uint64_t lost);

private:
    using Key = std::uint64_t; // an address, or kNoAddress for text that is none
    static constexpr Key kNoAddress = Key{1} << 32;
    static Key keyOf(std::optional<Ipv4Address> address) {
        return address ? Key{*address} : kNoAddress;
    }
    void eraseRow(std::size_t row);
    void reindex();
    void savedChanged();
    bool isSaved(Key key) const { return m_savedKeys.count(key) != 0; }

    std::vector<KnownDevice> m_rows;
    std::unordered_map<Key, std::size_t> m_index; // address -> row
    std::unordered_set<Key> m_unanswered;         // rows listed before the current search
    std::vector<std::string> m_saved;
    std::unordered_set<Key> m_savedKeys;
    // Frames turned away by the cap: remembered up to a bound so each counts
    // once, then only counted.
    static constexpr std::size_t kMaxUnlistedTracked = 65536;
    std::unordered_set<Key> m_unlisted;
    std::size_t m_unlistedOverflow = 0;
};

} // namespace velmar
