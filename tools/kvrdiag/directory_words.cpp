#include "tools/kvrdiag/directory_words.h"

#include <algorithm>

#include "base/operator_messages.h"
#include "tools/kvrdiag/words.h"

namespace kavrel::diag {

namespace {

static_assert(kLongestAccountNameLength == 27);

std::wstring KeepShort(const ReportSection& section, std::size_t longest) {
    return section.Say(TextId::KeepPathShort, {std::to_wstring(longest)});
}

}  // namespace

void ReportDirectoryHang(const std::wstring& what, std::chrono::milliseconds limit, ReportSection& section) {
    section.Fail(section.Say(TextId::DirectoryHang, {what, WholeSeconds(section.Lang(), limit)}),
                 section.Say(TextId::DirectoryHangAction));
}

bool ReportPresence(const std::wstring& shown, const std::wstring& drive, const DirectoryPresence& presence,
                    ReportSection& section) {
    using Kind = DirectoryPresence::Kind;
    const std::wstring noDirectory = Quoted(kNoScanDirectoryMessage.wide);
    const std::wstring consequences = section.Say(TextId::NoDirectoryConsequences, {noDirectory});
    switch (presence.kind) {
    case Kind::Directory: section.Ok(section.Say(TextId::IsDirectory, {shown})); return true;
    case Kind::File:
        section.Fail(section.Say(TextId::IsFile, {shown, noDirectory}), section.Say(TextId::IsFileAction));
        break;
    case Kind::DriveMissing:
        section.Fail(section.Say(TextId::DriveMissing, {drive, shown, consequences}),
                     section.Say(TextId::DriveMissingAction, {drive}));
        break;
    case Kind::Missing:
        section.Fail(section.Say(TextId::DirectoryMissing, {shown, presence.error, consequences}),
                     section.Say(TextId::DirectoryMissingAction));
        break;
    case Kind::PathTooLong:
        section.Fail(section.Say(TextId::CannotExamine, {shown, presence.error, consequences}),
                     KeepShort(section, kLongestPath));
        break;
    case Kind::Inaccessible:
        section.Fail(section.Say(TextId::CannotExamine, {shown, presence.error, consequences}),
                     section.Say(TextId::GiveAccess));
        break;
    }
    return false;
}

bool ReportListing(const DirectoryListing& listing, ReportSection& section) {
    if (!listing.listed) {
        section.Fail(section.Say(TextId::CannotList, {listing.error}), section.Say(TextId::GiveAccess));
        return false;
    }
    section.Ok(section.Say(listing.entries == 1 ? TextId::ListsOneEntry : TextId::ListsEntries,
                           {std::to_wstring(listing.entries), Seconds(section.Lang(), listing.seconds)}));
    return true;
}

void ReportWriteTrial(const WriteTrial& trial, ReportSection& section) {
    if (trial.accountPathLength > kLongestPath || (!trial.created && trial.tooLong)) {
        const std::wstring length = trial.accountPathLength > kLongestPath
                                        ? section.Say(TextId::MoreThan, {std::to_wstring(kLongestPath)})
                                        : std::to_wstring(trial.accountPathLength);
        section.Fail(section.Say(TextId::AccountPathTooLong, {length}), KeepShort(section, kLongestDirectory));
    } else if (!trial.created) {
        section.Fail(section.Say(TextId::CannotWrite, {trial.createError, Quoted(kNotConnectedMessage.wide)}),
                     section.Say(TextId::GiveAccess));
    } else if (!trial.deleted) {
        section.Warn(section.Say(TextId::TrialNotDeleted, {trial.deleteError, trial.file}),
                     section.Say(TextId::TrialNotDeletedAction));
    } else {
        section.Ok(section.Say(TextId::CanWrite));
    }
}

void ReportSpace(const DriveSpace& space, ReportSection& section) {
    if (!space.known) {
        section.Warn(section.Say(TextId::SpaceUnknown, {space.error}), section.Say(TextId::SpaceUnknownAction));
        return;
    }
    const std::wstring fact = section.Say(TextId::SpaceFree, {std::to_wstring(space.freeBytes / (1024 * 1024)),
                                                              std::to_wstring(space.totalBytes / (1024 * 1024))});
    if (space.freeBytes < kLowSpaceBytes) {
        section.Warn(section.Say(TextId::SpaceLow, {fact}), section.Say(TextId::SpaceLowAction));
    } else {
        section.Ok(fact);
    }
}

void ReportKvrprovNotAsked(const std::wstring& key, ReportSection& section) {
    section.Fail(section.Say(TextId::KvrprovNotAsked, {Quoted(key)}), section.Say(TextId::SeeSection1));
}

bool ReportKvrprov(const std::wstring& key, const KvrprovAnswer& answer, ReportSection& section) {
    const std::wstring shownKey = Quoted(key);
    const std::wstring reinstall = section.Say(TextId::ReinstallModule);
    for (const auto& m : answer.messages) {
        section.Warn(section.Say(TextId::KvrprovSentMessage, {Quoted(m)}), section.Say(TextId::ReportToDevelopers));
    }
    for (const auto& f : answer.faults) section.Fail(section.Say(TextId::KvrprovBrokeRules, {f}), reinstall);
    if (!answer.result) {
        section.Fail(section.Say(TextId::KvrprovNoAnswer, {shownKey}), reinstall);
    } else if (*answer.result == 0) {
        section.Ok(section.Say(TextId::KvrprovFound, {shownKey}));
        return true;
    } else if (*answer.result == 1) {
        section.Warn(section.Say(TextId::KvrprovNotFound, {shownKey, key}), section.Say(TextId::KvrprovNotFoundAction));
    } else {
        section.Fail(section.Say(TextId::KvrprovNoDirectory, {std::to_wstring(*answer.result), shownKey}),
                     section.Say(TextId::GiveAccess));
    }
    return false;
}

void ReportViewerListing(const std::wstring& key, const ViewerListing& listing, bool provFound, ReportSection& section) {
    const std::wstring shownKey = Quoted(key);
    if (!listing.listed) {
        section.Fail(section.Say(TextId::ViewerCannotList), section.Say(TextId::GiveAccess));
        return;
    }
    if (listing.files.empty()) {
        if (provFound) {
            section.Warn(section.Say(TextId::ViewerFindsNone, {shownKey}), section.Say(TextId::ViewerFindsNoneAction));
        }
        return;
    }
    const std::size_t named = std::min(listing.files.size(), kFilesNamed);
    const std::wstring count = listing.files.size() > kFilesNamed
                                   ? section.Say(TextId::MoreThan, {std::to_wstring(kFilesNamed)})
                                   : std::to_wstring(named);
    section.Ok(section.Say(TextId::ViewerShows, {count, shownKey}));
    for (std::size_t i = 0; i < named; ++i) {
        const ViewerFile& file = listing.files[i];
        const std::wstring line = L"  " + std::to_wstring(i + 1) + L". " + file.name;
        if (file.fullLength > kLongestPath) {
            section.Fail(section.Say(TextId::ViewerPathTooLong, {line, std::to_wstring(kLongestPath)}),
                         KeepShort(section, kLongestDirectory));
        } else if (!file.error.empty()) {
            section.Fail(section.Say(TextId::ViewerCannotRead, {line, file.error}), section.Say(TextId::GiveAccess));
        } else {
            section.Ok(line + L", " + Bytes(section.Lang(), file.size));
        }
    }
}

}  // namespace kavrel::diag
