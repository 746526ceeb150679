#!/usr/bin/env bash
# Runs a command with a camera attached, for Wine's camera source (gphoto2.ds) in the camera
# prefix: in a mount namespace of its own (so that no other program on the machine, and no other
# checkout's tests, sees this camera), the prefix's pictures are mounted as a Mass Storage Camera
# -- a file system with a DCIM folder -- and libgphoto2 is pointed at copies of its drivers.
# Another camera is attached too, as a teller's phone or card reader may be: with more than one,
# the camera source names each "<model>@<port>", and the tests pick theirs by its port.
#   with-camera.sh PREFIX_DIR COMMAND [ARGUMENT...]
# Needs root (mount); the command itself may drop privileges afterwards.
set -euo pipefail
prefix=$1
shift
if [ -z "${KAVREL_CAMERA_NAMESPACE:-}" ]; then
    exec env KAVREL_CAMERA_NAMESPACE=1 unshare --mount --propagation private -- "$0" "$prefix" "$@"
fi
# A short mount point: the port's name, "disk:/tmp/kvc", fits with the model's in the 33
# characters of a TWAIN product name (the mount is the namespace's own, whoever else uses it).
camera=/tmp/kvc
stranger="$prefix/camera-stranger"
drivers="$prefix/camera-drivers"
mkdir -p "$camera" "$stranger" "$drivers"
mount -t tmpfs -o size=16m,mode=755 kavrel-camera "$camera"
cp -r "$prefix/camera/DCIM" "$camera/"
mount -t tmpfs -o size=1m,mode=755 kavrel-camera-stranger "$stranger"
mkdir -p "$stranger/DCIM/100OTHER"
cp "$prefix/camera/DCIM/100KAVRL/KVR_0002.JPG" "$stranger/DCIM/100OTHER/OTHR0001.JPG"
# Under the i386 emulator a 32-bit readdir() fails on this machine's ext4 (64-bit directory
# offsets), so the i386 libgphoto2 never finds its own driver folders there: copies on a tmpfs
# are found (natively they would be found in place as well).
mount -t tmpfs -o size=32m,mode=755 kavrel-camera-drivers "$drivers"
for folder in /usr/lib/i386-linux-gnu/libgphoto2/*/ /usr/lib/i386-linux-gnu/libgphoto2_port/*/; do
    case "$folder" in
    */libgphoto2_port/*) cp -r "$folder" "$drivers/iolibs" ;;
    *) cp -r "$folder" "$drivers/camlibs" ;;
    esac
done
export CAMLIBS="$drivers/camlibs" IOLIBS="$drivers/iolibs"
exec "$@"
