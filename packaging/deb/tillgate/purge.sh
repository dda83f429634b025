    # The receipt cache and stored images go with a purge; the system user
    # stays, as Debian keeps system users.
    rm -rf /var/lib/zelvotillgate
