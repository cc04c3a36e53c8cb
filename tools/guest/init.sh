#!/bin/busybox sh
# The guest's first process: this machine's root read-only and the source tree read-write,
# at the paths they have there, then the agent that runs the programs sent to it.
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
fail() { echo "guest init: $*"; poweroff -f; }

for word in $(cat /proc/cmdline); do
    case $word in
        veldrin.*=*) name=${word%%=*}; eval "${name#veldrin.}=\${word#*=}" ;;
    esac
done
for module in $(cat /modules/order); do insmod "/modules/$module.ko" || fail "cannot load $module"; done

# mount_share TAG ro|rw FOLDER: virtio-fs (which writes through), or 9p through the guest's
# page cache (Wine reads a program's sections with one read call, which an uncached 9p share
# may answer short), its writes made at once so that this machine sees them.
mount_share() {
    if [ "$shares" = virtiofs ]; then
        mount -t virtiofs -o "$2" "$1" "$3"
    else
        options=$2
        [ "$2" = rw ] && options=rw,sync
        mount -t 9p -o "trans=virtio,version=9p2000.L,msize=262144,$options,cache=loose" "$1" "$3"
    fi
}
mount_share root ro /newroot || fail "no root share"
mount -t proc proc /newroot/proc
mount -t sysfs sys /newroot/sys
mount -t devtmpfs dev /newroot/dev
mkdir -p /newroot/dev/pts /newroot/dev/shm
mount -t devpts devpts /newroot/dev/pts
mount -t tmpfs shm /newroot/dev/shm
# Wine's server keeps its socket in the temporary folder, and a socket cannot live on a share.
mount -t tmpfs tmp /newroot/tmp
mount -t tmpfs run /newroot/run
# The source tree last, so that none of the above hides it (a clone under /tmp).
mkdir -p "/newroot$work" 2>/dev/null
mount_share work rw "/newroot$work" || fail "no work share"

ip link set lo up
ip link set eth0 up
ip addr add 10.0.2.15/24 dev eth0
ip route add default via 10.0.2.2
echo "guest init: ready, agent on port $port"
exec chroot /newroot "$python" "$agent" "$port" --guest "$shares"
