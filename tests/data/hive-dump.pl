#!/usr/bin/perl
# Lists every key and value of a Windows 95/98/Me registry file as Parse::Win32Registry reads
# it, in the form of hive-dump-libcreg.py. Names are taken as ISO-8859-1 so every byte stays
# as it is; the bytes libcreg cannot decode become "?".
use strict;
use warnings;
use Parse::Win32Registry;

Parse::Win32Registry::set_codepage('iso-8859-1');
my $registry = Parse::Win32Registry->new($ARGV[0]) or die "cannot read $ARGV[0]\n";

sub ansi {
    my $name = shift // '';
    my $bytes = join '', map { chr(ord($_) & 0xFF) } split //, $name;
    $bytes =~ tr/\x81\x8D\x8F\x90\x9D/?????/;
    return $bytes;
}

sub walk {
    my ($key, $path) = @_;
    print "K ", unpack('H*', $path), "\n";
    foreach my $value ($key->get_list_of_values) {
        printf "V %s %s %d %s\n", unpack('H*', $path), unpack('H*', ansi($value->get_name)), $value->get_type,
            unpack('H*', $value->get_raw_data // '');
    }
    foreach my $sub ($key->get_list_of_subkeys) {
        my $name = ansi($sub->get_name);
        walk($sub, $path eq '' ? $name : "$path\\$name");
    }
}

walk($registry->get_root_key, '');
