# The real endpoints, for the release build only.
set(INSTALLER_UPDATE_URL_PRIMARY "http://update.velmora.com/kzinstall.txt")
set(INSTALLER_UPDATE_URL_FALLBACK "http://update2.velmora.com/kzinstall.txt")
set(INSTALLER_AGREEMENT_URL "http://game.velmora.com/xy/")
set(INSTALLER_SPARE_DNS "114.114.114.114;223.5.5.5;8.8.8.8;208.67.222.222")
