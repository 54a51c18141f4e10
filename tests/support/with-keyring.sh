#!/usr/bin/env bash
# Runs a command on a private D-Bus session bus with a Secret Service of its
# own: gnome-keyring-daemon, its login keyring unlocked with a test password,
# under a home directory that is removed afterwards. Nothing of the user's
# own keyring or session is reached.
#
#   with-keyring.sh [--no-daemon | --no-bus] command [args...]
#
# --no-daemon: the bus runs but no keyring answers on it (nothing is started
# on demand either); --no-bus: there is no session bus at all.
set -euo pipefail

mode=keyring
case "${1:-}" in
  --no-daemon) mode=no-daemon; shift ;;
  --no-bus) mode=no-bus; shift ;;
esac

root=$(mktemp -d "${TMPDIR:-/tmp}/toppeek-keyring.XXXXXX")
trap 'rm -rf "$root"' EXIT
export HOME="$root/home" XDG_DATA_HOME="$root/home/data" XDG_CONFIG_HOME="$root/home/config" \
       XDG_CACHE_HOME="$root/home/cache" XDG_RUNTIME_DIR="$root/run"
mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
# A desktop named here would choose another keyring than the one started below.
unset XDG_CURRENT_DESKTOP DESKTOP_SESSION KDE_FULL_SESSION KDE_SESSION_VERSION \
      GNOME_DESKTOP_SESSION_ID GNOME_KEYRING_CONTROL

if [ "$mode" = no-bus ]; then
  export DBUS_SESSION_BUS_ADDRESS="unix:path=$root/no-bus-here"
  exec_status=0
  "$@" || exec_status=$?
  exit "$exec_status"
fi

# A session bus without service directories: no keyring is started on demand.
cat > "$root/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=$root/run</listen>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF

cat > "$root/inside.sh" <<'INSIDE'
#!/usr/bin/env bash
set -euo pipefail
if [ "$1" = keyring ]; then
  # --unlock creates the login keyring with this password and makes it the
  # default collection; --start then serves it on the bus.
  echo -n toppeek-test | gnome-keyring-daemon --unlock --components=secrets >/dev/null
  gnome-keyring-daemon --start --components=secrets >/dev/null
fi
shift
"$@"
INSIDE
chmod +x "$root/inside.sh"
dbus-run-session --config-file="$root/bus.conf" -- "$root/inside.sh" "$mode" "$@" 2> >(grep -v "Failed to set fd limit\|discover_other_daemon" >&2)
