#include "tools/kvrdiag/directory_words.h"

#include <algorithm>

#include "base/operator_messages.h"
#include "tools/kvrdiag/words.h"

namespace kavrel::diag {

namespace {

static_assert(kLongestAccountNameLength == 27);

constexpr wchar_t kGiveAccess[] =
    L"give the operators' accounts the right to list, create, replace and delete files in this directory";

std::wstring KeepShort(std::size_t longest) {
    return L"keep the signature directory's full path within " + std::to_wstring(longest) +
           L" characters: move the directory or map a drive letter to it";
}

}  // namespace

void ReportDirectoryHang(const wchar_t* what, std::chrono::milliseconds limit, ReportSection& section) {
    section.Fail(std::wstring(what) + L" did not come back in " + WholeSeconds(limit) +
                     L": the drive or its file server does not answer",
                 L"check the network connection to the file server; kvrprov, kvrshow and kvrscan hang there too");
}

bool ReportPresence(const std::wstring& shown, const std::wstring& drive, const DirectoryPresence& presence,
                    ReportSection& section) {
    using Kind = DirectoryPresence::Kind;
    const std::wstring consequences =
        L": kvrprov answers 2, kvrshow shows nothing, kvrscan answers 3 " + Quoted(kNoScanDirectoryMessage.wide);
    switch (presence.kind) {
    case Kind::Directory: section.Ok(shown + L" is a directory"); return true;
    case Kind::File:
        section.Fail(shown + L" is a file, not a directory: kvrprov answers 2, kvrscan 3 " +
                         Quoted(kNoScanDirectoryMessage.wide),
                     L"pass the directory that holds the signatures, not a file in it");
        break;
    case Kind::DriveMissing:
        section.Fail(L"drive " + drive + L" of " + shown + L" does not exist" + consequences,
                     L"connect the network drive " + drive + L" for this user, or correct the directory the script passes");
        break;
    case Kind::Missing:
        section.Fail(shown + L" does not exist (" + presence.error + L")" + consequences,
                     L"create the directory, or correct the directory the script passes");
        break;
    case Kind::PathTooLong:
        section.Fail(shown + L" cannot be examined: " + presence.error + consequences, KeepShort(kLongestPath));
        break;
    case Kind::Inaccessible:
        section.Fail(shown + L" cannot be examined: " + presence.error + consequences, kGiveAccess);
        break;
    }
    return false;
}

bool ReportListing(const DirectoryListing& listing, ReportSection& section) {
    if (!listing.listed) {
        section.Fail(L"it cannot be listed: " + listing.error + L": kvrprov answers 2 and the viewer finds no signature",
                     kGiveAccess);
        return false;
    }
    section.Ok(L"it lists " + std::to_wstring(listing.entries) + (listing.entries == 1 ? L" entry in " : L" entries in ") +
               Seconds(listing.seconds));
    return true;
}

void ReportWriteTrial(const WriteTrial& trial, ReportSection& section) {
    if (trial.accountPathLength > kLongestPath || (!trial.created && trial.tooLong)) {
        section.Fail(L"it cannot be written for an account: a file named by a 20-digit account number and \"_99\" would "
                     L"have a path of " +
                         (trial.accountPathLength > kLongestPath ? L"more than " + std::to_wstring(kLongestPath)
                                                                 : std::to_wstring(trial.accountPathLength)) +
                         L" characters, which Windows does not take: kvrscan cannot save an account's signature "
                         L"here, and the viewer cannot open such a file",
                     KeepShort(kLongestDirectory));
    } else if (!trial.created) {
        section.Fail(L"it cannot be written: a temporary file cannot be created (" + trial.createError +
                         L"): kvrscan answers 1 " + Quoted(kNotConnectedMessage.wide) +
                         L" after every scan, and the viewer cannot delete",
                     kGiveAccess);
    } else if (!trial.deleted) {
        section.Warn(L"a temporary file could be created but not deleted (" + trial.deleteError + L"): " + trial.file +
                         L"; the viewer cannot delete signatures either",
                     L"delete that file by hand, and give the operators' accounts the right to delete files here");
    } else {
        section.Ok(L"it can be written: a temporary file was created and deleted");
    }
}

void ReportSpace(const DriveSpace& space, ReportSection& section) {
    if (!space.known) {
        section.Warn(L"the free space on its drive is not known: " + space.error,
                     L"check that the drive has room for new scans");
        return;
    }
    const std::wstring fact = std::to_wstring(space.freeBytes / (1024 * 1024)) + L" MB free of " +
                              std::to_wstring(space.totalBytes / (1024 * 1024)) + L" MB";
    if (space.freeBytes < kLowSpaceBytes) {
        section.Warn(fact + L": a few more scans and kvrscan cannot save", L"free space on the drive");
    } else {
        section.Ok(fact);
    }
}

void ReportKvrprovNotAsked(const std::wstring& key, ReportSection& section) {
    section.Fail(L"kvrprov cannot be asked about client " + Quoted(key) + L": the module did not load (section 1)",
                 L"see section 1");
}

bool ReportKvrprov(const std::wstring& key, const KvrprovAnswer& answer, ReportSection& section) {
    const std::wstring shownKey = Quoted(key);
    constexpr wchar_t kReinstall[] = L"install Kavrel.dll from the release archive again";
    for (const auto& m : answer.messages) {
        section.Warn(L"kvrprov sent the message " + Quoted(m) + L", which it never should", L"report it to Kavrel's developers");
    }
    for (const auto& f : answer.faults) section.Fail(L"kvrprov broke the interpreter's rules: " + f, kReinstall);
    if (!answer.result) {
        section.Fail(L"kvrprov wrote no answer for client " + shownKey, kReinstall);
    } else if (*answer.result == 0) {
        section.Ok(L"kvrprov answers 0 for client " + shownKey + L": signatures on file");
        return true;
    } else if (*answer.result == 1) {
        section.Warn(L"kvrprov answers 1 for client " + shownKey + L": no signature file (" + key + L"*.jpg or " + key +
                         L"*.bmp) here",
                     L"scan the client's signature, or check the key the script passes against the file names");
    } else {
        section.Fail(L"kvrprov answers " + std::to_wstring(*answer.result) + L" for client " + shownKey +
                         L": the directory is missing or cannot be listed for the module",
                     kGiveAccess);
    }
    return false;
}

void ReportViewerListing(const std::wstring& key, const ViewerListing& listing, bool provFound, ReportSection& section) {
    const std::wstring shownKey = Quoted(key);
    if (!listing.listed) {
        section.Fail(L"the viewer cannot list the directory", kGiveAccess);
        return;
    }
    if (listing.files.empty()) {
        if (provFound) {
            section.Warn(L"the viewer, which compares the key's letter case exactly, finds no file of client " + shownKey +
                             L" although kvrprov does: kvrshow will say there is no signature",
                         L"rename the files so that they begin with the key exactly as the script passes it");
        }
        return;
    }
    const std::size_t named = std::min(listing.files.size(), kFilesNamed);
    section.Ok(L"the viewer shows " + (listing.files.size() > kFilesNamed ? L"more than " + std::to_wstring(kFilesNamed)
                                                                           : std::to_wstring(named)) +
               L" file(s) of client " + shownKey + L", in this order:");
    for (std::size_t i = 0; i < named; ++i) {
        const ViewerFile& file = listing.files[i];
        const std::wstring line = L"  " + std::to_wstring(i + 1) + L". " + file.name;
        if (file.fullLength > kLongestPath) {
            section.Fail(line + L": its full path is more than " + std::to_wstring(kLongestPath) +
                             L" characters; the viewer lists it but cannot open it",
                         KeepShort(kLongestDirectory));
        } else if (!file.error.empty()) {
            section.Fail(line + L": it cannot be read (" + file.error + L"); the viewer cannot show it", kGiveAccess);
        } else {
            section.Ok(line + L", " + Bytes(file.size));
        }
    }
}

}  // namespace kavrel::diag
