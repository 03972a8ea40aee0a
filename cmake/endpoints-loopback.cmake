# Loopback endpoints for development, tests and the demo.
set(INSTALLER_UPDATE_URL_PRIMARY "http://127.0.0.1:8780/kzinstall.txt")
set(INSTALLER_UPDATE_URL_FALLBACK "http://127.0.0.2:8780/kzinstall.txt")
set(INSTALLER_AGREEMENT_URL "http://127.0.0.1:8780/xy/")
# ";"-separated address[:port] list of the spare DNS servers.
set(INSTALLER_SPARE_DNS "127.0.0.1:8753")
