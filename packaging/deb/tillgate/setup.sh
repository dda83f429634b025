if [ "$1" = configure ]; then
    if ! getent passwd tillgate >/dev/null; then
        adduser --system --group --home /var/lib/zelvotillgate --no-create-home \
            --gecos "Tillgate service" tillgate >/dev/null
    fi
    # Serial and USB serial registers belong to dialout.
    if getent group dialout >/dev/null; then
        adduser tillgate dialout >/dev/null 2>&1 || true
    fi
    install -d -o tillgate -g tillgate -m 0750 /var/lib/zelvotillgate
    # The device choice rewrites the settings, which QSettings does through a
    # new file in the same directory.
    chown tillgate:tillgate /opt/zelvotillgate/etc \
        /opt/zelvotillgate/etc/tillgate.conf /opt/zelvotillgate/etc/tillgatelistener.conf
    # No web page may call the API until the till's front end is named.
    if ! grep -Eq '^[[:space:]]*origins[[:space:]]*=[[:space:]]*[^[:space:]]' /opt/zelvotillgate/etc/tillgate.conf; then
        echo "tillgate: name the origin of the till's web front end (e.g. https://pos.example.com)"
        echo "  in origins= of /opt/zelvotillgate/etc/tillgate.conf; each request reads it afresh"
    fi
fi
