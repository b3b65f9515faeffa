[POI]
Type=0x2a0e
Label=~[0x1f]12~[0x1e~x~
StreetDesc=~
Data0=(1,2
