// The three script functions the module registers with the host. Each takes its arguments from
// the host, answers through by-reference arguments and host messages, and never lets an error
// reach the host.
#pragma once

namespace kavrel::script {

// kvrprov(result&, directory, clientKey): 0 signatures on file, 1 none, 2 no usable directory.
void __cdecl kvrprov();

// kvrshow(directory, clientKey, title, buttonsFlag, deleteFlag): the modal signature viewer.
void __cdecl kvrshow();

// kvrscan(directory, fileName, result&): scans one image and stores it as directory\fileName.jpg.
void __cdecl kvrscan();

}  // namespace kavrel::script
