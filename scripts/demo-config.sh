#!/usr/bin/env bash
# Prints a corvanta.ini for the stand-ins: demo-config.sh SIM_FOLDER PORT [PLAN_FOLDER]
# The [facility] codes are those of the stations in scripts/demo-stations.txt; the plan
# folder, when given, is where the plan dialog starts.
set -euo pipefail
sim_folder="$1"
port="$2"
plan_folder="${3:-}"
if [ -n "$plan_folder" ]; then
    printf '[FSX_plan]\npath=%s/\n' "$plan_folder"
fi
cat <<INI
[FSX]
DIR=$sim_folder/
[connect]
serveur=Tavoro demo
adresse=127.0.0.1
port=$port
password=demo
[envoi]
avion=5000
[ATIS]
audio=false
[facility]
0=Observer
1=FSS
2=Delivery
3=Ground
4=Tower
5=Approach
6=Center
[turbulence]
N=aucune
O=légère
L=légère
M=modérée
H=forte
S=sévère
[shear]
G=progressif
M=modéré
S=fort
I=brutal
[conditions descriptor]
MI=mince
PR=partiel
BC=bancs
DR=chasse-poussière basse
BL=chasse-poussière élevée
SH=averses
TS=orage
FZ=se congelant
VC=au voisinage
[conditions phenomena]
DZ=bruine
RA=pluie
SN=neige
SG=neige en grains
IC=cristaux de glace
PL=granules de glace
GR=grêle
GS=grésil
UP=précipitations inconnues
BR=brume
FG=brouillard
FU=fumée
VA=cendres volcaniques
DU=poussière
SA=sable
HZ=brume sèche
PY=embruns
PO=tourbillons de poussière
SQ=grains
FC=trombe
SS=tempête de sable
DS=tempête de poussière
[cloud typ]
CLR=ciel clair
SKC=ciel dégagé
FEW=quelques nuages
SCT=épars
BKN=fragmenté
OVC=couvert
CI=cirrus
CS=cirrostratus
CC=cirrocumulus
AS=altostratus
AC=altocumulus
SC=stratocumulus
NS=nimbostratus
ST=stratus
CU=cumulus
CB=cumulonimbus
[cloud top]
F=plat
R=arrondi
A=enclume
[precipitation intensity]
V=très faible
L=faible
M=modérée
H=forte
D=très forte
[precipitation typ]
N=aucune
R=pluie
F=pluie verglaçante
H=grêle
S=neige
[icing rate]
N=aucun
T=traces
L=faible
M=modéré
S=sévère
INI
